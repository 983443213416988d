// libFuzzer target: opens arbitrary bytes as a storage file, read-only, then
// reads every view, row and value and makes a compacted copy of it. Files that
// open are then changed and committed, and must open again afterwards.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "mk/Dump.h"
#include "mk/Storage.h"

namespace {

class NullStream : public mk::Stream {
public:
    long Read(void*, long) override { return 0; }
    bool Write(const void*, long) override { return true; }
};

void CommitAndReopen(const std::string& path) {
    {
        mk::Storage storage;
        if (storage.Open(path) != mk::Status::Ok) return;
        mk::View* v = storage.ViewCount() ? storage.ViewAt(0) : storage.GetAs("T[A:I,B:S]");
        int row = v->AddRow();
        for (int c = 0; c < v->ColumnCount(); ++c) v->SetValue(row, c, mk::Value(std::string(200, 'x')));
        if (v->RowCount() > 1) v->RemoveRow(0);
        if (!storage.Commit()) return;
    }
    mk::Storage again;
    if (again.Open(path, true) != mk::Status::Ok) __builtin_trap();
    mk::DumpJson(again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int fd = memfd_create("mk_open", 0);
    if (fd < 0) return 0;
    if (size && write(fd, data, size) != ssize_t(size)) {
        close(fd);
        return 0;
    }
    {
        mk::Storage storage;
        mk::Status status = storage.Open("/proc/self/fd/" + std::to_string(fd), true);
        if (status == mk::Status::Ok || status == mk::Status::Recovered) {
            std::string json = mk::DumpJson(storage);
            NullStream out;
            storage.SaveTo(out);
        }
    }
    if (size && data[0] & 1) CommitAndReopen("/proc/self/fd/" + std::to_string(fd));
    close(fd);
    return 0;
}
