#include "db/CaseDB.h"

#include "mk/Storage.h"

void SetInternalFailureReporter(InternalFailureReporter) {}
void ReportInternalFailure(const char*, const char*, int) {}

CaseDB::CaseDB() = default;
CaseDB::~CaseDB() = default;
int CaseDB::Open(const std::string&, bool) { return kOpenFailed; }
void CaseDB::Close() {}
bool CaseDB::IsOpen() const { return false; }
bool CaseDB::Commit() { return false; }
bool CaseDB::Rollback() { return false; }
int32_t CaseDB::TakeNextId(bool) { return 0; }
bool CaseDB::AddNode(const CaseNode&) { return false; }
bool CaseDB::GetNode(int32_t, CaseNode&, bool) { return false; }
bool CaseDB::SaveNode(const CaseNode&) { return false; }
bool CaseDB::DeleteNode(int32_t) { return false; }
bool CaseDB::MoveNode(int32_t, int32_t) { return false; }
bool CaseDB::IsDescendant(int32_t, int32_t) { return false; }
int32_t CaseDB::MaxChildOrder(int32_t) { return 0; }
std::vector<int32_t> CaseDB::GetChildren(int32_t) { return {}; }
int CaseDB::CountDescendants(int32_t) { return 0; }
int CaseDB::NodeCount() const { return 0; }
std::string CaseDB::GetParam(const std::string&, const std::string& d) { return d; }
bool CaseDB::SetParam(const std::string&, const std::string&) { return false; }
bool CaseDB::GetParamBool(const std::string&, bool d) { return d; }
bool CaseDB::SetParamBool(const std::string&, bool) { return false; }
int32_t CaseDB::GetParamInt(const std::string&, int32_t d) { return d; }
bool CaseDB::SetParamInt(const std::string&, int32_t) { return false; }
bool CaseDB::AddBookmark(int32_t) { return false; }
bool CaseDB::RemoveBookmark(int32_t) { return false; }
bool CaseDB::IsBookmark(int32_t) { return false; }
std::vector<int32_t> CaseDB::GetBookmarks() { return {}; }
bool CaseDB::Login(const std::string&) { return false; }
bool CaseDB::ChangePassword(const std::string&, const std::string&, const unsigned char&,
                            const PasswordProgress&) { return false; }
bool CaseDB::Pack() { return false; }
std::string CaseDB::LockPath(const std::string& p) { return p + ".lock"; }
std::string CaseDB::SwapPath(const std::string& p) { return p; }
std::string CaseDB::BackupPath(const std::string& p) { return p; }
