#include "kellib/Kelapputil.h"

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

int32_t TotalPhysicalMemory() {
    long pages = sysconf(_SC_PHYS_PAGES);
    long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return 0;
    uint64_t total = static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
    if (total > 0xFFFFFFFFULL) total = 0xFFFFFFFFULL;
    return static_cast<int32_t>(static_cast<uint32_t>(total));
}

std::string GetTempDir() {
    std::string dir = "/tmp";
    const char* env = std::getenv("TMPDIR");
    struct stat st;
    if (env && *env && stat(env, &st) == 0 && S_ISDIR(st.st_mode)) dir = env;
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return "";
    if (dir.back() != '/') dir += '/';
    return dir;
}

std::string TempFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st;
    if (runtime && *runtime == '/' && stat(runtime, &st) == 0 && S_ISDIR(st.st_mode)) {
        std::string dir = runtime;
        if (dir.back() != '/') dir += '/';
        return dir + "_Vaultleaf_/";
    }
    return GetTempDir() + "_Vaultleaf_-" + std::to_string(getuid()) + "/";
}

bool EnsurePrivateFolder(const std::string& folder) {
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    mkdir(path.c_str(), 0700);
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) return false;
    return (st.st_mode & 077) == 0 || chmod(path.c_str(), 0700) == 0;
}

bool HardenProcess() {
    const struct rlimit noCore = {0, 0};
    const bool limited = setrlimit(RLIMIT_CORE, &noCore) == 0;
    return prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0 && limited;
}
