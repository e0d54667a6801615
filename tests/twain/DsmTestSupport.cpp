#include "DsmTestSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "twain/TwainMemory.h"
#include "twain/dsm/Dsm.h"

namespace dsmtest {

namespace fs = std::filesystem;

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
    if (previous_)
        ::setenv(name_.c_str(), previous_->c_str(), 1);
    else
        ::unsetenv(name_.c_str());
}

DsmEnvironment::DsmEnvironment() {
    fs::create_directories(sources());
    fs::create_directories(configHome());
    env_.push_back(new ScopedEnv("TESSAVAN_TWAIN_SOURCES", sources().c_str()));
    env_.push_back(new ScopedEnv("XDG_CONFIG_HOME", configHome().c_str()));
    env_.push_back(new ScopedEnv("DSM_LOG", nullptr));
    env_.push_back(new ScopedEnv("DSM_LOGMODE", nullptr));
    env_.push_back(new ScopedEnv("DSM_USEAPPID", nullptr));
}

DsmEnvironment::~DsmEnvironment() {
    dsmLogMode_.reset();
    dsmLog_.reset();
    for (auto it = env_.rbegin(); it != env_.rend(); ++it) delete *it;
}

std::string DsmEnvironment::Folder(const std::string& folder) const {
    const std::string path = folder.empty() ? sources() : sources() + "/" + folder;
    fs::create_directories(path);
    return path;
}

void DsmEnvironment::WriteIni(const std::string& folder, const std::string& name,
                              const std::vector<std::string>& ini) {
    std::ofstream out(Folder(folder) + "/" + name + ".ini");
    out << "log=" << root() << "/" << name << ".calls\n";
    for (const std::string& line : ini) out << line << "\n";
}

std::string DsmEnvironment::AddVirtualSource(const std::string& folder, const std::string& name,
                                             const std::vector<std::string>& ini) {
    const std::string path = Folder(folder) + "/" + name + ".ds";
    fs::copy_file(TESSAVAN_VDS_PATH, path, fs::copy_options::overwrite_existing);
    WriteIni(folder, name, ini);
    return path;
}

std::string DsmEnvironment::LinkVirtualSource(const std::string& folder, const std::string& name,
                                              const std::vector<std::string>& ini) {
    const std::string path = Folder(folder) + "/" + name + ".ds";
    fs::create_symlink(TESSAVAN_VDS_PATH, path);
    WriteIni(folder, name, ini);
    return path;
}

std::string DsmEnvironment::AddBrokenSource(const std::string& folder, const std::string& name) {
    const std::string path = Folder(folder) + "/" + name + ".ds";
    fs::copy_file(TESSAVAN_NOENTRY_PATH, path, fs::copy_options::overwrite_existing);
    return path;
}

void DsmEnvironment::AddFile(const std::string& folder, const std::string& name, const std::string& text) {
    std::ofstream(Folder(folder) + "/" + name) << text;
}

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> SplitLines(const std::string& text, const std::string& separator) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find(separator, start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + separator.size();
    }
    return lines;
}

}  // namespace

std::vector<std::string> DsmEnvironment::SourceLog(const std::string& name) const {
    return SplitLines(ReadText(root() + "/" + name + ".calls"), "\n");
}

std::string DsmEnvironment::EnableDsmLog(const char* mode) {
    const std::string path = root() + "/dsm.log";
    dsmLogMode_.reset();
    dsmLog_.reset();
    dsmLog_ = std::make_unique<ScopedEnv>("DSM_LOG", path.c_str());
    dsmLogMode_ = std::make_unique<ScopedEnv>("DSM_LOGMODE", mode);
    return path;
}

std::string DsmEnvironment::DsmLogText() const { return ReadText(root() + "/dsm.log"); }

std::vector<std::string> DsmEnvironment::DsmLogLines() const { return SplitLines(DsmLogText(), "\r\n"); }

TestApp::TestApp(const char* product, TW_UINT16 major, TW_UINT16 minor)
    : identity(AppIdentity(product, major, minor)) {}

TW_UINT16 TestApp::Open(TW_HANDLE window) {
    TW_HANDLE parent = window;
    return DSM_Entry(&identity, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent);
}

TW_UINT16 TestApp::Close() {
    return DSM_Entry(&identity, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr);
}

TW_UINT16 TestApp::Call(pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    return DSM_Entry(&identity, dest, dg, dat, msg, data);
}

TW_UINT16 TestApp::Status(pTW_IDENTITY dest) {
    TW_STATUS status{};
    status.ConditionCode = 0xEEEE;
    if (Call(dest, DG_CONTROL, DAT_STATUS, MSG_GET, &status) != TWRC_SUCCESS) return 0xFFFF;
    return status.ConditionCode;
}

std::vector<TW_IDENTITY> TestApp::Sources() {
    std::vector<TW_IDENTITY> list;
    TW_IDENTITY source{};
    TW_UINT16 rc = Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &source);
    while (rc == TWRC_SUCCESS) {
        list.push_back(source);
        source = TW_IDENTITY{};
        rc = Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &source);
    }
    return list;
}

std::optional<TW_IDENTITY> TestApp::SourceNamed(const std::string& product) {
    for (const TW_IDENTITY& source : Sources())
        if (product == source.ProductName) return source;
    return std::nullopt;
}

TW_UINT16 TestApp::OpenSource(TW_IDENTITY& source) {
    return Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source);
}

TW_UINT16 TestApp::CloseSource(TW_IDENTITY& source) {
    return Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source);
}

TW_UINT16 TestApp::RegisterCallback(TW_IDENTITY& source, TWAINCALLBACKPROC proc, TW_UINT32 refCon) {
    TW_CALLBACK callback{};
    callback.CallBackProc = reinterpret_cast<TW_MEMREF>(proc);
    callback.RefCon = refCon;
    return Call(&source, DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &callback);
}

TW_UINT16 TestApp::Enable(TW_IDENTITY& source, bool showUI) {
    TW_USERINTERFACE ui{};
    ui.ShowUI = showUI ? 1 : 0;
    ui.ModalUI = 1;
    return Call(&source, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
}

TW_UINT16 TestApp::Disable(TW_IDENTITY& source) {
    TW_USERINTERFACE ui{};
    return Call(&source, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
}

TW_UINT16 TestApp::SetCap(TW_IDENTITY& source, TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value) {
    TW_CAPABILITY capability{};
    capability.Cap = cap;
    capability.ConType = TWON_ONEVALUE;
    capability.hContainer = DSM_MemAllocate(sizeof(TW_ONEVALUE));
    auto* one = static_cast<TW_ONEVALUE*>(DSM_MemLock(capability.hContainer));
    one->ItemType = itemType;
    one->Item = 0;
    auto* item = reinterpret_cast<std::uint8_t*>(one) + offsetof(TW_ONEVALUE, Item);
    const std::size_t size = twainItemSize(itemType) <= 4 ? twainItemSize(itemType) : 4;
    std::memcpy(item, &value, size);
    DSM_MemUnlock(capability.hContainer);
    const TW_UINT16 rc = Call(&source, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
    DSM_MemFree(capability.hContainer);
    return rc;
}

TW_UINT16 TestApp::GetCap(TW_IDENTITY& source, TW_UINT16 cap, TW_UINT16 msg, TW_UINT32& value,
                          TW_UINT16& conType) {
    TW_CAPABILITY capability{};
    capability.Cap = cap;
    capability.ConType = TWON_DONTCARE16;
    const TW_UINT16 rc = Call(&source, DG_CONTROL, DAT_CAPABILITY, msg, &capability);
    if (rc != TWRC_SUCCESS) return rc;
    conType = capability.ConType;
    const auto* p = static_cast<const std::uint8_t*>(DSM_MemLock(capability.hContainer));
    TW_UINT16 itemType = 0;
    std::memcpy(&itemType, p, 2);
    auto read = [&](const std::uint8_t* at) {
        TW_UINT32 v = 0;
        std::memcpy(&v, at, std::min<std::size_t>(twainItemSize(itemType), 4));
        return v;
    };
    switch (capability.ConType) {
    case TWON_ONEVALUE: value = read(p + offsetof(TW_ONEVALUE, Item)); break;
    case TWON_RANGE: value = reinterpret_cast<const TW_RANGE*>(p)->CurrentValue; break;
    case TWON_ENUMERATION: {
        const auto* e = reinterpret_cast<const TW_ENUMERATION*>(p);
        value = read(p + offsetof(TW_ENUMERATION, ItemList) + e->CurrentIndex * twainItemSize(itemType));
        break;
    }
    default: value = 0; break;
    }
    DSM_MemUnlock(capability.hContainer);
    DSM_MemFree(capability.hContainer);
    return rc;
}

namespace {
NotificationLog* g_notifications = nullptr;
}

NotificationLog::NotificationLog() { g_notifications = this; }
NotificationLog::~NotificationLog() { g_notifications = nullptr; }

TW_UINT16 NotificationLog::Callback(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16 msg, TW_MEMREF) {
    NotificationLog* log = g_notifications;
    if (!log) return TWRC_FAILURE;
    {
        std::lock_guard guard(log->lock_);
        log->messages_.push_back(msg);
        log->thread_ = std::this_thread::get_id();
    }
    log->arrived_.notify_all();
    return TWRC_SUCCESS;
}

bool NotificationLog::WaitFor(TW_UINT16 message) {
    std::unique_lock guard(lock_);
    return arrived_.wait_for(guard, std::chrono::seconds(10), [&] {
        return std::find(messages_.begin(), messages_.end(), message) != messages_.end();
    });
}

std::vector<TW_UINT16> NotificationLog::Messages() {
    std::lock_guard guard(lock_);
    return messages_;
}

std::thread::id NotificationLog::Thread() {
    std::lock_guard guard(lock_);
    return thread_;
}

void DsmTest::SetUp() { handlesBefore = TwainMemLiveCount(); }

void DsmTest::TearDown() {
    EXPECT_TRUE(ManagerGone()) << "a manager is left over";
    EXPECT_EQ(TwainMemLiveCount(), handlesBefore) << "memory handles are left over";
}

std::string Hex4(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04x", value);
    return text;
}

std::vector<std::string> Matching(const std::vector<std::string>& lines, const std::vector<std::string>& parts) {
    std::vector<std::string> found;
    for (const std::string& line : lines) {
        bool all = true;
        for (const std::string& part : parts) all = all && line.find(part) != std::string::npos;
        if (all) found.push_back(line);
    }
    return found;
}

}  // namespace dsmtest
