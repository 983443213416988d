// Store commands of vaultleaf-cli: create, ls, tree, cat, add, set, mv, rm,
// passwd, pack, check. Captions and text print as UTF-8; the database keeps
// them in its own code page. Every change commits once at its end.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "cli/CliMedia.h"
#include "cli/Commands.h"
#include "cli/Output.h"
#include "cli/StoreSession.h"
#include "kellib/Kelcodepage.h"
#include "kellib/Kelfilelib.h"
#include "rtf/RtfCodepage.h"
#include "rtf/RtfReader.h"
#include "rtf/RtfWriter.h"
#include "search/NodeText.h"

namespace cli {

namespace {

bool IsTextKind(int type) { return type == kNodeText || type == kNodeHtml || type == kNodeUrl; }

std::string Number(double value) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", value);
    return buf;
}

// Reads FILE, or stdin when file is empty or "-".
bool ReadInput(const std::string& file, std::string& bytes) {
    if (file.empty() || file == "-") return ReadAllFromFd(STDIN_FILENO, bytes);
    return ReadAllBytes(file, bytes);
}

// UTF-8 from the command line or a file in the database code page; a
// character the code page cannot hold is refused with its position.
int ToAnsi(const std::string& utf8, std::string& ansi) {
    UnencodableChar failure;
    if (Utf8ToAnsiChecked(utf8, ansi, &failure)) return kExitOk;
    return Fail(kExitError, UnencodableMessage(failure));
}

// Fills the node's content from FILE or stdin: text kinds convert UTF-8 to the
// database code page (with the terminating zero); an RTF node takes RTF as it
// is and UTF-8 plain text as the RTF of it; sound nodes take a WAV file and
// whiteboards a picture; --raw and other kinds keep the bytes; kind 3 from a
// FILE is read as a file node with times and attributes.
int LoadContent(CaseNode& node, const std::string& file, bool raw) {
    if (node.Type == kNodeFile && !file.empty() && file != "-") {
        if (!node.LoadFromFile(file, true))
            return Fail(kExitError, "读文件\"" + file + "\"出错：" + std::strerror(errno));
        return kExitOk;
    }
    std::string bytes;
    if (!ReadInput(file, bytes))
        return Fail(kExitError, "cannot read \"" + (file.empty() ? "-" : file) + "\": " + std::strerror(errno));
    if (IsTextKind(node.Type) && !raw) {
        std::string text;
        if (int rc = ToAnsi(bytes, text); rc) return rc;
        node.SetDataFromText(text);
    } else if ((node.Type == kNodeSound || node.Type == kNodeWhiteboard) && !raw && !bytes.empty()) {
        std::string payload, error;
        bool converted = node.Type == kNodeSound ? WaveToSoundPayload(bytes, payload, error)
                                                 : PictureToWhiteboardPayload(bytes, payload, error);
        if (!converted) return Fail(kExitError, "\"" + (file.empty() ? "-" : file) + "\": " + error);
        node.SetData(std::move(payload));
    } else if (node.Type == kNodeRtf && !raw && !IsRtf(bytes)) {
        if (!IsValidUtf8(bytes)) return Fail(kExitError, "the text is not UTF-8 (use --raw to store the bytes as they are)");
        node.SetData(WriteRtf(DocumentOfText(Utf8ToUtf32(bytes), kDefaultRtfFace, kCharsetGB2312)));
    } else {
        node.SetData(std::move(bytes));
    }
    if (node.Type == kNodeFile) node.SetAttr("FSize", std::to_string(node.DataSize()));
    return kExitOk;
}

int CommitOrFail(CaseDB& db) {
    return db.Commit() ? kExitOk : Fail(kExitError, "the change could not be written");
}

// ---- commands ------------------------------------------------------------------

int Create(const Options& a) {
    const std::string& path = a.positional[0];
    struct stat st;
    if (lstat(path.c_str(), &st) == 0) return Fail(kExitError, "\"" + path + "\" already exists");
    // The password first: nothing is created when it cannot be had.
    auto password = ReadNewPassword(a.newPasswordFile.empty() ? a.passwordFile : a.newPasswordFile);
    if (!password) return kExitError;
    WipeOnExit wipe(*password);
    CaseDB db;
    int result = db.Open(path, true);
    if (result != CaseDB::kOpened) return Fail(kExitNoDatabase, OpenFailureMessage(result, path, db.OpenErrno()));
    if (!db.Login(*password)) {
        db.Close();
        unlink(path.c_str());
        return Fail(kExitError, "the database could not be written");
    }
    return kExitOk;
}

int Ls(const Options& options) {
    return WithDatabase(options, kReads, [](CaseDB& db, const Options& a, const std::string&) -> int {
        int32_t parent;
        if (int rc = ParentArg(db, a, 1, parent); rc) return rc;
        bool first = true;
        if (a.json) Print("[");
        for (int32_t id : db.GetChildren(parent)) {
            CaseNode node;
            bool read = db.GetNode(id, node, a.json) || db.GetNode(id, node, false);
            if (!read) continue;
            std::string caption = AnsiToUtf8(node.Caption);
            if (!a.json) {
                Print("%d\t%d\t%d\t%s\n", node.Id, node.Type, node.Order, Printable(caption).c_str());
                continue;
            }
            Print("%s\n  {\"id\": %d, \"parent\": %d, \"kind\": %d, \"order\": %d, \"caption\": %s, "
                  "\"created\": %s, \"modified\": %s, \"size\": %d}",
                  first ? "" : ",", node.Id, node.Parent, node.Type, node.Order,
                  JsonString(caption).c_str(), Number(node.Created).c_str(),
                  Number(node.Modified).c_str(), node.DataSize());
            first = false;
        }
        if (a.json) Print("%s]\n", first ? "" : "\n");
        return kExitOk;
    });
}

// Depth first in child order, with an explicit stack: trees of any depth.
// Each id prints once, even when a damaged file makes parents circular.
void PrintTree(CaseDB& db, int32_t root) {
    std::unordered_set<int32_t> seen{root};
    std::vector<std::pair<int32_t, int>> pending;   // id, depth
    auto pushChildren = [&](int32_t parent, int depth) {
        std::vector<int32_t> children = db.GetChildren(parent);
        for (auto it = children.rbegin(); it != children.rend(); ++it) pending.emplace_back(*it, depth);
    };
    pushChildren(root, 0);
    while (!pending.empty()) {
        auto [id, depth] = pending.back();
        pending.pop_back();
        if (!seen.insert(id).second) continue;
        CaseNode node;
        std::string caption = db.GetNode(id, node, false) ? Printable(AnsiToUtf8(node.Caption)) : "?";
        Print("%s%d\t%d\t%s\n", std::string(2 * static_cast<size_t>(depth), ' ').c_str(), id, node.Type,
              caption.c_str());
        pushChildren(id, depth + 1);
    }
}

int Tree(const Options& options) {
    return WithDatabase(options, kReads, [](CaseDB& db, const Options& a, const std::string&) -> int {
        int32_t root;
        if (int rc = ParentArg(db, a, 1, root); rc) return rc;
        PrintTree(db, root);
        return kExitOk;
    });
}

// The content as cat writes it: text as UTF-8 (unless --raw), --text the
// readable text the search reads, a sound node as WAV (--wav), a whiteboard as
// PNG (--png), else the stored bytes.
int CatContent(const CaseNode& node, const Options& a, const std::string& textPreviewExt, std::string& out) {
    if (a.raw && a.text) return Fail(kExitUsage, "--raw and --text exclude each other");
    if (a.wav && node.Type != kNodeSound) return Fail(kExitUsage, "--wav needs a sound node (kind 8)");
    if (a.png && node.Type != kNodeWhiteboard) return Fail(kExitUsage, "--png needs a whiteboard node (kind 7)");
    std::string error;
    if (a.wav) {
        out = SoundPayloadToWave(node.DataBytes());
    } else if (a.png) {
        if (!WhiteboardPayloadToPng(node.DataBytes(), out, error))
            return Fail(kExitError, "node " + std::to_string(node.Id) + ": " + error);
    } else if (a.text) {
        const auto text = ReadableText(node, textPreviewExt);
        if (!text)
            return Fail(kExitError, "node " + std::to_string(node.Id) + " (kind " + std::to_string(node.Type) + ") holds no text");
        out = Utf32ToUtf8(*text);
    } else {
        out = IsTextKind(node.Type) && !a.raw ? AnsiToUtf8(node.Data()) : node.DataBytes();
    }
    return kExitOk;
}

int Cat(const Options& options) {
    return WithDatabase(options, kReads, [](CaseDB& db, const Options& a, const std::string&) -> int {
        CaseNode node;
        if (int rc = NodeArg(db, a, 1, node, true); rc) return rc;
        std::string out;
        if (int rc = CatContent(node, a, TextPreviewExtOf(db), out); rc) return rc;
        Write(out);
        return kExitOk;
    });
}

int Add(const Options& options) {
    return WithDatabase(options, kWrites, [](CaseDB& db, const Options& a, const std::string&) -> int {
        int32_t parent, kind;
        if (!ParseId(a.positional[2], kind) || kind < 0 || kind > 8)
            return Fail(kExitUsage, "KIND is a node kind code from 0 to 8");
        if (int rc = ParentArg(db, a, 1, parent); rc) return rc;
        CaseNode node;
        node.Type = static_cast<uint8_t>(kind);
        node.Parent = parent;
        if (int rc = ToAnsi(a.positional[3], node.Caption); rc) return rc;
        std::string file = a.positional.size() > 4 ? a.positional[4] : "";
        if (kind == kNodeFolder && file.empty())
            node.SetDataFromText("");
        else if (int rc = LoadContent(node, file, a.raw); rc)
            return rc;
        node.Order = db.NextChildOrder(parent);
        node.Id = db.TakeNextId(false);
        if (node.Id == 0) return Fail(kExitError, "no node id is left (the id counter is at the top of its range)");
        if (!db.AddNode(node)) return Fail(kExitError, "the node could not be stored");
        if (int rc = CommitOrFail(db); rc) return rc;
        Print("%d\n", node.Id);
        return kExitOk;
    });
}

int Set(const Options& options) {
    return WithDatabase(options, kWrites, [](CaseDB& db, const Options& a, const std::string&) -> int {
        CaseNode node;
        if (int rc = NodeArg(db, a, 1, node, false); rc) return rc;
        if (int rc = LoadContent(node, a.positional.size() > 2 ? a.positional[2] : "", a.raw); rc) return rc;
        node.Touch();
        if (!db.SaveNode(node)) return Fail(kExitError, "the node could not be stored");
        return CommitOrFail(db);
    });
}

int Mv(const Options& options) {
    return WithDatabase(options, kWrites, [](CaseDB& db, const Options& a, const std::string&) -> int {
        CaseNode node;
        int32_t parent;
        if (int rc = NodeArg(db, a, 1, node, false); rc) return rc;
        if (int rc = ParentArg(db, a, 2, parent); rc) return rc;
        if (!db.MoveNode(node.Id, parent)) return Fail(kExitError, "a node cannot move below itself");
        return CommitOrFail(db);
    });
}

// True when the node lies in the recycle bin, at any depth.
bool InRecycleBin(CaseDB& db, int32_t id) {
    std::vector<int32_t> walk = db.Ancestry(id);
    return !walk.empty() && walk.back() == kParentRecycleBin;
}

int Rm(const Options& options) {
    return WithDatabase(options, kWrites, [](CaseDB& db, const Options& a, const std::string&) -> int {
        CaseNode node;
        if (int rc = NodeArg(db, a, 1, node, false); rc) return rc;
        bool done = InRecycleBin(db, node.Id) ? db.DeleteNode(node.Id) : db.MoveNode(node.Id, kParentRecycleBin);
        if (!done) return Fail(kExitError, "the node could not be removed");
        return CommitOrFail(db);
    });
}

// A remembered password is sealed with the window program's per-user key,
// which this tool does not hold: it would still open with the old password.
// It is cleared, so the window asks for the new one.
int ForgetRememberedPassword(CaseDB& db) {
    if (db.GetParam("RememberedPassword", "").empty() && !db.GetParamBool("RememberPassword", false))
        return kExitOk;
    if (!db.SetParamBool("RememberPassword", false) || !db.SetParam("RememberedPassword", "") || !db.Commit())
        return Fail(kExitError, "记住的密码未能清除。");
    Print("记住的密码已清除，下次打开时请输入新密码。\n");
    return kExitOk;
}

volatile std::sig_atomic_t interrupted = 0;
unsigned char passwdCancel = 0;

int Passwd(const Options& options) {
    return WithDatabase(options, kWrites, [](CaseDB& db, const Options& a, const std::string& old) -> int {
        auto fresh = ReadNewPassword(a.newPasswordFile);
        if (!fresh) return kExitError;
        WipeOnExit wipe(*fresh);
        if (*fresh == old) return Fail(kExitError, "新密码与旧密码不能相同。");
        bool showProgress = isatty(STDERR_FILENO);
        int maximum = 0;
        PasswordProgress progress;
        progress.SetMaximum = [&maximum](int m) { maximum = m; };
        progress.SetPosition = [&](int pos) {
            if (showProgress && (pos % 64 == 0 || pos == maximum)) std::fprintf(stderr, "\r%d/%d", pos, maximum);
        };
        progress.ProcessEvents = [] { passwdCancel = interrupted ? 1 : 0; };
        auto previous = std::signal(SIGINT, [](int) { interrupted = 1; });
        bool changed = db.ChangePassword(old, *fresh, passwdCancel, progress);
        std::signal(SIGINT, previous);
        if (showProgress && maximum > 0) std::fprintf(stderr, "\n");
        if (!changed) return Fail(kExitError, "密码修改失败，密码和数据已恢复。");
        Print("密码修改成功。\n");
        return ForgetRememberedPassword(db);
    });
}

int Pack(const Options& options) {
    return WithDatabase(options, kWrites, [](CaseDB& db, const Options& a, const std::string&) -> int {
        const std::string& path = a.positional[0];
        std::string before = FormatMB(1, GetFileSize64(path));
        if (!db.Pack()) return Fail(kExitError, "数据库压缩出错。");
        Print("数据库文件大小：%sMB，压缩后的文件大小为%sMB。\n", before.c_str(),
              FormatMB(1, GetFileSize64(path)).c_str());
        return kExitOk;
    });
}

// Prints a line for each node whose row cannot be read, whose caption does
// not open cleanly, or whose id another row holds too; returns how many.
int ReportUnreadable(CaseDB& db, const std::vector<int32_t>& ids) {
    int failed = 0;
    // A repeated id: only its first row can be reached by id.
    std::unordered_map<int32_t, int> rowsOfId;
    for (int32_t id : ids) ++rowsOfId[id];
    for (int32_t id : ids) {
        int& rows = rowsOfId[id];
        if (rows > 1) {
            ++failed;
            Print("%d\t?\tid held by %d rows; only the first can be reached\n", id, rows);
            rows = 1;
        }
        CaseNode node;
        bool captionIntact = db.CaptionIntact(id);
        if (captionIntact && db.GetNode(id, node, true)) continue;
        ++failed;
        bool contentOnly = captionIntact && db.GetNode(id, node, false);
        Print("%d\t%s\t%s\n", id, contentOnly ? Printable(AnsiToUtf8(node.Caption)).c_str() : "?",
              contentOnly ? "content cannot be opened" : "caption cannot be opened");
    }
    return failed;
}

// Prints a line for each node neither the top level nor the recycle bin leads to.
void ReportTreeDamage(CaseDB& db, const CaseDB::TreeDamage& damage) {
    std::unordered_set<int32_t> circles(damage.circles.begin(), damage.circles.end());
    std::unordered_set<int32_t> orphans(damage.orphans.begin(), damage.orphans.end());
    for (int32_t id : damage.unreachable) {
        CaseNode node;
        bool read = db.CaptionIntact(id) && db.GetNode(id, node, false);
        std::string cause;
        if (circles.count(id))
            cause = "its parents run in a circle";
        else if (orphans.count(id))
            cause = read ? "its parent " + std::to_string(node.Parent) + " does not exist" : "its parent does not exist";
        else
            cause = "below node " + std::to_string(db.Ancestry(id).back()) + ", which is not in the tree";
        Print("%d\t%s\t%s\n", id, read ? Printable(AnsiToUtf8(node.Caption)).c_str() : "?", cause.c_str());
    }
}

int Repair(CaseDB& db) {
    int moved = db.RecoverUnreachable(Utf8ToAnsi("恢复的节点"));
    if (moved < 0) return Fail(kExitError, "不在树中的节点未能移回，数据库没有改动。");
    if (moved == 0) return kExitOk;
    if (int rc = CommitOrFail(db); rc) return rc;
    Print("已将%d个不在树中的节点移到顶层文件夹\"恢复的节点\"下。\n", moved);
    return kExitOk;
}

int Check(const Options& options) {
    return WithDatabase(options, options.repair ? kWrites : kReads, [](CaseDB& db, const Options& a, const std::string&) -> int {
        SetInternalFailureReporter([](const std::string&) {});
        std::vector<int32_t> ids = db.AllNodeIds();
        int failed = ReportUnreadable(db, ids);
        CaseDB::TreeDamage damage = db.FindTreeDamage();
        ReportTreeDamage(db, damage);
        if (db.PasswordCheckDamaged()) {
            ++failed;
            Print("-\t-\tthe password check value is damaged\n");
        }
        Print("%zu nodes, %d unreadable", ids.size(), failed);
        if (!damage.unreachable.empty()) Print(", %zu not in the tree", damage.unreachable.size());
        Print("\n");
        if (a.repair) {
            if (int rc = Repair(db); rc) return rc;
            return failed ? kExitError : kExitOk;
        }
        return failed || !damage.unreachable.empty() ? kExitError : kExitOk;
    });
}

}  // namespace

const std::vector<Command>& StoreCommands() {
    const unsigned pw = kOptPasswordFile;
    static const std::vector<Command> commands = {
        {"create", "DB", 1, 1, kOptNewPasswordFile | pw,
         "Makes a new database. Passwords are asked on the terminal without echo, or read from the\n"
         "first line of the file named with --password-file (the new one with --new-password-file);\n"
         "never from arguments or the environment. Text prints as UTF-8.",
         Create},
        {"ls", "DB [ID]", 1, 2, kOptJson | pw, "Lists the children of node ID (0: the top level, -1: the recycle bin).", Ls},
        {"tree", "DB [ID]", 1, 2, pw, "Prints the subtree of node ID.", Tree},
        {"cat", "DB ID", 2, 2, kOptRaw | kOptText | kOptWav | kOptPng | pw,
         "Writes the content of node ID: text as UTF-8; --text the text the search reads (RTF and\n"
         "HTML without markup, a card's fields); --wav a sound node as a WAV file, --png a whiteboard as a PNG image.",
         Cat},
        {"add", "DB PARENT KIND CAPTION [FILE]", 4, 5, kOptRaw | pw,
         "Adds a node of KIND (0 to 8) below PARENT with the content of FILE (default: standard input).\n"
         "Kind 8 takes a WAV file (8000 Hz mono 16-bit PCM), kind 7 a picture, kind 6 RTF or\n"
         "UTF-8 text; --raw stores the bytes as they are.",
         Add},
        {"set", "DB ID [FILE]", 2, 3, kOptRaw | pw, "Replaces the content of node ID (default: standard input).", Set},
        {"mv", "DB ID PARENT", 3, 3, pw, "Moves node ID below PARENT.", Mv},
        {"rm", "DB ID", 2, 2, pw, "Moves node ID into the recycle bin; inside the bin, deletes it for good.", Rm},
        {"passwd", "DB", 1, 1, pw | kOptNewPasswordFile, "Changes the password.", Passwd},
        {"pack", "DB", 1, 1, pw, "Compacts the database file.", Pack},
        {"check", "DB", 1, 1, kOptRepair | pw,
         "Reads every node and reports those that cannot be read, and the nodes that are not in the\n"
         "tree (below a missing parent, or whose parents run in a circle). --repair moves these under\n"
         "a new top-level folder \"恢复的节点\".",
         Check},
    };
    return commands;
}

}  // namespace cli
