// libFuzzer target: opens arbitrary bytes as a storage file, read-only, then
// reads every view, row and value and makes a compacted copy of it.
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
    close(fd);
    return 0;
}
