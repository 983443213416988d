// The sound recorder page TabSheetWave: records from the default input into
// the sound work file (GSM records, appended), plays the work file back, and
// hands the work file over as the node's content.
#pragma once

#include <QWidget>

#include <memory>
#include <string>

#include "kelwavecompress/KELSoundWorkFile.h"
#include "kelwavecompress/KELWave.h"

class QAbstractButton;
class QButtonGroup;
class QLabel;
class QPushButton;
class QScrollBar;

class WavePage : public QWidget {
    Q_OBJECT
public:
    // Uses the desktop's default sound devices.
    explicit WavePage(QWidget* parent = nullptr);
    ~WavePage() override;
    // Replaces the devices (tests drive scripted ones); stops what runs.
    void SetDevices(std::unique_ptr<KELWaveInputDevice> input, std::unique_ptr<KELWaveOutputDevice> output);

    // Before any node is shown: stops recording and playback, empties the work file.
    void StopForShow();
    // A new work file holding payload; false (all buttons off) when it cannot be made.
    bool Load(const std::string& payload);
    // Nothing to record into or play (no work file could be made, or the
    // node's content cannot be read): no work file, every button off.
    void SetUnavailable();
    // The whole work file; false when there is none.
    bool Save(std::string& payload) const;
    bool IsModified() const { return modified_; }
    void SetModified(bool modified) { modified_ = modified; }
    bool HasWorkFile() const { return workFile_.IsOpen(); }
    // Stops everything and deletes the work file (the window closes).
    void Shutdown();
    // The status line, size line, buttons and progress bar for the state.
    void RefreshPage();

    void SBWaveRecordClick();
    void SBWaveStopClick();
    void SBWavePauseClick();
    void SBWavePlayClick();
    void SBWaveClearClick();

private:
    void MakeWaveClasses();
    void RecordedData(const uint8_t* data, size_t length);
    void ProgressReleased();
    void PressStop();
    void RemoveWorkFile();

    std::unique_ptr<KELWaveInputDevice> inputDevice_;
    std::unique_ptr<KELWaveOutputDevice> outputDevice_;
    std::unique_ptr<KELWaveInGSM> waveIn_;
    std::unique_ptr<KELWaveOutGSM> waveOut_;
    KELSoundWorkFile workFile_;
    std::string workFolder_;
    bool modified_ = false;

    QLabel* PanelWaveStatus = nullptr;
    QLabel* PanelWaveSize = nullptr;
    QScrollBar* ScrollBarWaveProgress = nullptr;
    QPushButton* SBWaveRecord = nullptr;
    QPushButton* SBWavePlay = nullptr;
    QPushButton* SBWavePause = nullptr;
    QPushButton* SBWaveStop = nullptr;
    QPushButton* SBWaveClear = nullptr;
    QButtonGroup* radio_ = nullptr;
};
