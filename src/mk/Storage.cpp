// Placeholder until the engine lands: every open fails.
#include "mk/Storage.h"

namespace mk {

class StorageImpl {
public:
    FileInfo info;
};

Storage::Storage() : impl_(std::make_unique<StorageImpl>()) {}
Storage::~Storage() = default;
Status Storage::Open(const std::string&, bool) { return Status::IoError; }
void Storage::Close() {}
bool Storage::IsOpen() const { return false; }
bool Storage::Recovered() const { return false; }
const FileInfo& Storage::Info() const { return impl_->info; }
View* Storage::GetAs(const std::string&) { return nullptr; }
int Storage::ViewCount() const { return 0; }
View* Storage::ViewAt(int) { return nullptr; }
View* Storage::ViewNamed(const std::string&) { return nullptr; }
std::string Storage::Description() const { return {}; }
bool Storage::Commit() { return false; }
bool Storage::Rollback() { return false; }
bool Storage::SaveTo(Stream&) { return false; }

}  // namespace mk
