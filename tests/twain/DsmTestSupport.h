// What the data source manager's tests share: a folder of data sources (the
// virtual scanner copied under names of its own, broken libraries, stray
// files), the environment the manager reads, and a plain application that
// talks to the manager through DSM_Entry only.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DsmProbe.h"
#include "support/TempDir.h"
#include "twain/Twain.h"

namespace dsmtest {

// Sets an environment variable for the life of the object (null unsets it)
// and restores the earlier value afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// A fresh source folder (TESSAVAN_TWAIN_SOURCES), a fresh configuration
// folder for the default source (XDG_CONFIG_HOME), and no DSM_LOG,
// DSM_LOGMODE or DSM_USEAPPID.
class DsmEnvironment {
public:
    DsmEnvironment();
    ~DsmEnvironment();

    const std::string& root() const { return temp_.path(); }
    std::string sources() const { return root() + "/sources"; }
    std::string configHome() const { return root() + "/config"; }

    // Copies the virtual scanner to <sources>/<folder>/<name>.ds with
    // "<name>.ini" holding `ini` and a call log; returns the library path.
    std::string AddVirtualSource(const std::string& folder, const std::string& name,
                                 const std::vector<std::string>& ini = {});
    // A link to the virtual scanner instead of a copy (for many sources that
    // are never open at the same time).
    std::string LinkVirtualSource(const std::string& folder, const std::string& name,
                                  const std::vector<std::string>& ini = {});
    // A library without DS_Entry.
    std::string AddBrokenSource(const std::string& folder, const std::string& name);
    void AddFile(const std::string& folder, const std::string& name, const std::string& text);

    // The call log of the source called `name`, one line per call.
    std::vector<std::string> SourceLog(const std::string& name) const;
    // Turns the manager's log on (DSM_LOG) for managers created from now.
    std::string EnableDsmLog(const char* mode = nullptr);
    std::string DsmLogText() const;
    std::vector<std::string> DsmLogLines() const;

private:
    std::string Folder(const std::string& folder) const;
    void WriteIni(const std::string& folder, const std::string& name, const std::vector<std::string>& ini);

    testdata::TempDir temp_;
    std::vector<ScopedEnv*> env_;
    std::unique_ptr<ScopedEnv> dsmLog_;
    std::unique_ptr<ScopedEnv> dsmLogMode_;
};

// A plain application: its identity and the calls it makes.
class TestApp {
public:
    explicit TestApp(const char* product, TW_UINT16 major = 2, TW_UINT16 minor = 4);

    TW_UINT16 Open(TW_HANDLE window = nullptr);
    TW_UINT16 Close();
    TW_UINT16 Call(pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
    // The condition code the manager (dest null) or a source reports.
    TW_UINT16 Status(pTW_IDENTITY dest = nullptr);
    // Every source, by MSG_GETFIRST and MSG_GETNEXT.
    std::vector<TW_IDENTITY> Sources();
    std::optional<TW_IDENTITY> SourceNamed(const std::string& product);
    TW_UINT16 OpenSource(TW_IDENTITY& source);
    TW_UINT16 CloseSource(TW_IDENTITY& source);
    TW_UINT16 RegisterCallback(TW_IDENTITY& source, TWAINCALLBACKPROC proc, TW_UINT32 refCon = 0);
    // Enables without the source's own interface.
    TW_UINT16 Enable(TW_IDENTITY& source, bool showUI = false);
    TW_UINT16 Disable(TW_IDENTITY& source);

    // Capabilities: sets a one-value, reads the current value (MSG_GET reads
    // the current item of an enumeration, a range or a one-value).
    TW_UINT16 SetCap(TW_IDENTITY& source, TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value);
    TW_UINT16 GetCap(TW_IDENTITY& source, TW_UINT16 cap, TW_UINT16 msg, TW_UINT32& value, TW_UINT16& conType);

    TW_IDENTITY identity;
};

// Collects the notifications a source sends to the application's callback
// (NotificationLog::Callback); one log at a time is installed.
class NotificationLog {
public:
    NotificationLog();
    ~NotificationLog();
    static TW_UINT16 Callback(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                              TW_MEMREF data);
    // Waits (up to ten seconds) until `message` has arrived.
    bool WaitFor(TW_UINT16 message);
    std::vector<TW_UINT16> Messages();
    // The thread the last notification came from.
    std::thread::id Thread();

private:
    std::mutex lock_;
    std::condition_variable arrived_;
    std::vector<TW_UINT16> messages_;
    std::thread::id thread_;
};

// A test with its own source folder; at its end no manager may be left and
// every memory handle must have been freed.
class DsmTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    DsmEnvironment env;
    std::size_t handlesBefore = 0;
};

// "0x%04x" as the virtual scanner's call log writes DATs and messages.
std::string Hex4(unsigned value);
// Lines of `lines` that contain every one of `parts`.
std::vector<std::string> Matching(const std::vector<std::string>& lines, const std::vector<std::string>& parts);

}  // namespace dsmtest
