#include "kellib/KELFileMonitor.h"

#include "kellib/Kelfilelib.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool Measure(const std::string& path, int64_t& sec, int64_t& nsec, int64_t& size) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    sec = st.st_mtim.tv_sec;
    nsec = st.st_mtim.tv_nsec;
    size = st.st_size;
    return true;
}

}  // namespace

bool KELFileMonitor::StartWatch(const std::string& path) {
    active_ = Measure(path, lastWriteSec_, lastWriteNsec_, size_);
    path_ = active_ ? path : std::string();
    return active_;
}

bool KELFileMonitor::IsChanged() const {
    if (!active_) return false;
    int64_t sec, nsec, size;
    if (!Measure(path_, sec, nsec, size)) return false;
    return sec != lastWriteSec_ || nsec != lastWriteNsec_ || size != size_;
}

void KELFileMonitor::StopWatch(bool deleteFile) {
    if (!active_) return;
    if (deleteFile) WipeAndRemoveFile(path_);
    active_ = false;
    path_.clear();
}
