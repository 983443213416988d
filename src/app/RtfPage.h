// The formatted-editing page TabSheetRTF: the toolbar PanelRTF, the ruler
// and the editor RichEditRTF. Every toolbar control writes an attribute of
// the editor's selection; every selection change writes the selection's
// attributes back into the toolbar and the ruler (RTFSelectionChange).
// The main window loads a payload, saves the page's RTF and reads and clears
// its modified flag.
#pragma once

#include <QTextEdit>
#include <QWidget>

#include <string>

class QButtonGroup;
class QComboBox;
class QFrame;
class QLabel;
class QToolButton;
class TRuler;

// The editor, whose formatting rectangle the page sets.
class TRichEditRTF : public QTextEdit {
public:
    explicit TRichEditRTF(QWidget* parent);
    void SetFormattingRect(int left, int right);
};

class TRtfPage : public QWidget {
    Q_OBJECT
public:
    explicit TRtfPage(QWidget* parent);

    // Shows payload (RTF, or plain text in the database code page; empty is an
    // empty document); what cannot be read is left out. Caret to the start,
    // not modified, not read-only. Always true.
    bool Load(const std::string& payload);
    // The page's whole content as RTF.
    std::string Save() const;
    bool IsModified() const;
    void SetModified(bool modified);
    void SetReadOnly(bool readOnly);
    QTextEdit* Editor() const { return RichEditRTF; }

    // The selection's attributes into the toolbar and the ruler.
    void RTFSelectionChange();

    // Toolbar handlers; each does nothing while the toolbar is synchronised.
    void ComboBoxRTFFontNameChange();
    void ComboBoxRTFFontSizeChange();
    void ComboBoxRTFColorChange();
    void SpeedButtonRTFStyleClick(QToolButton* button);
    void SpeedButtonRTFAlignClick(QToolButton* button);
    void SpeedButtonRTFBulletClick();

    // The ruler's paragraph format writes after a marker was released.
    void FirstIndentReleased();
    void LeftIndentReleased();
    void RightIndentReleased();

    QFrame* PanelRTF = nullptr;
    QComboBox* ComboBoxRTFFontName = nullptr;
    QComboBox* ComboBoxRTFFontSize = nullptr;
    QComboBox* ComboBoxRTFColor = nullptr;
    QToolButton* SpeedButtonRTFBold = nullptr;
    QToolButton* SpeedButtonRTFItalic = nullptr;
    QToolButton* SpeedButtonRTFUnderline = nullptr;
    QToolButton* SpeedButtonRTFLeftAlign = nullptr;
    QToolButton* SpeedButtonRTFCenterAlign = nullptr;
    QToolButton* SpeedButtonRTFRightAlign = nullptr;
    QToolButton* SpeedButtonRTFBullet = nullptr;
    TRuler* Ruler = nullptr;
    TRichEditRTF* RichEditRTF = nullptr;

signals:
    // End of every synchronisation: the caret position is to be shown.
    void SelectionShown();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void CreateToolbar();
    QToolButton* AddButton(const char* name, const QString& hint, const QIcon& icon);
    void ConnectToolbar();
    void MergeCharFormat(const QTextCharFormat& format);
    void MergeBlockFormat(const QTextBlockFormat& format);
    // The paragraph's indents in points (F, L, R) and writing them.
    void ParagraphIndents(int& first, int& hanging, int& right) const;
    void SetParagraphIndents(int first, int hanging, int right);
    void MoveMarker(QLabel* marker, int pointerX);
    void MarkerReleased(QLabel* marker);
    void SetFormattingRect();

    bool toolbarGuard_ = false;   // set while the toolbar follows the selection
    int dragOffset_ = 0;
    bool dragging_ = false;
    QButtonGroup* alignGroup_ = nullptr;
};
