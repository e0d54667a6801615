// Finding, listing, opening and closing data sources; the default source.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>

#include "DsmTestSupport.h"
#include "twain/dsm/Dsm.h"
#include "twain/dsm/DsmSettings.h"

namespace {

using namespace dsmtest;

using DsmSources = DsmTest;

std::vector<std::string> Names(const std::vector<TW_IDENTITY>& sources) {
    std::vector<std::string> names;
    for (const TW_IDENTITY& s : sources) names.push_back(s.ProductName);
    return names;
}

TEST_F(DsmSources, FolderFirstThenSubFoldersAndBrokenOnesLeftOut) {
    env.EnableDsmLog();
    env.AddVirtualSource("b", "bravo", {"product=Bravo"});
    env.AddVirtualSource("a", "alpha", {"product=Alpha"});
    env.AddVirtualSource("", "direct", {"product=Direct"});
    env.AddVirtualSource("a/deeper", "deep", {"product=Deep"});
    const std::string broken = env.AddBrokenSource("a", "broken");
    const std::string wia = env.AddBrokenSource("b", "wiatwain");
    env.AddVirtualSource("b", "audio", {"product=Audio Only", "groups=0x40000005"});
    env.AddVirtualSource("", "mute", {"product=Mute", "refuse_identity=1"});
    env.AddFile("", "readme.txt", "not a source");
    env.AddFile("a", "alpha.ds.bak", "not a source either");

    const auto cwd = std::filesystem::current_path();
    TestApp app("Finder");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    EXPECT_EQ(std::filesystem::current_path(), cwd) << "the search never changes the working folder";
    const std::vector<TW_IDENTITY> sources = app.Sources();
    // The folder's own libraries get the lowest ids, then each sub-folder in
    // name order, depth first.
    EXPECT_EQ(Names(sources), (std::vector<std::string>{"Direct", "Alpha", "Deep", "Bravo"}));
    for (std::size_t i = 0; i < sources.size(); ++i) {
        EXPECT_EQ(+sources[i].Id, i + 1);
        EXPECT_EQ(std::string(sources[i].Manufacturer), "Tessavan");
        EXPECT_TRUE(+sources[i].SupportedGroups & DF_DS2);
    }
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);

    const auto lines = env.DsmLogLines();
    EXPECT_EQ(Matching(lines, {"Could not find DS_Entry in DS: " + broken}).size(), 1u);
    EXPECT_EQ(Matching(lines, {"We're deliberately skipping this file: " + wia}).size(), 1u);
    EXPECT_EQ(Matching(lines, {"The SupportedGroups do not match."}).size(), 1u);
    EXPECT_EQ(Matching(lines, {"DG_CONTROL,DAT_IDENTITY,MSG_GET failed"}).size(), 1u);
    EXPECT_TRUE(Matching(lines, {"readme.txt"}).empty());
    EXPECT_TRUE(Matching(lines, {".bak"}).empty());
    // Every library is asked for its identity with the application's own.
    const auto probe = Matching(env.SourceLog("alpha"), {"dat=" + Hex4(DAT_IDENTITY), "msg=" + Hex4(MSG_GET)});
    ASSERT_EQ(probe.size(), 1u);
    EXPECT_NE(probe[0].find("origin=Finder"), std::string::npos) << probe[0];
}

// Runs `call` on a thread of its own and waits for it up to a deadline; a
// call that waits on a FIFO meanwhile is set free (a writer that comes and
// goes ends each open of it), so the test ends either way. False when the
// call did not come back by itself.
bool ReturnsWithoutWaitingOnFifo(const std::string& fifo, const std::function<TW_UINT16()>& call, TW_UINT16& rc) {
    auto result = std::async(std::launch::async, call);
    const bool cameBack = result.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (result.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "the call stays blocked on the FIFO";
            std::abort();  // the thread cannot be ended otherwise
        }
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
    }
    rc = result.get();
    return cameBack;
}

TEST_F(DsmSources, OnlyRegularFilesAreLoaded) {
    env.EnableDsmLog();
    env.AddVirtualSource("", "real", {"product=Real"});
    // A link to a library (here one outside the folder) is a library.
    env.LinkVirtualSource("", "linked", {"product=Linked"});
    // Opening a FIFO waits for a writer: loading one would hang the manager.
    const std::string fifo = env.sources() + "/trap.ds";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink(fifo, env.sources() + "/trap-link.ds");
    std::filesystem::create_symlink(env.sources() + "/gone", env.sources() + "/dangling.ds");
    std::filesystem::create_directories(env.sources() + "/folder.ds");

    TestApp app("Careful");
    TW_UINT16 rc = TWRC_FAILURE;
    EXPECT_TRUE(ReturnsWithoutWaitingOnFifo(fifo, [&app] { return app.Open(); }, rc))
        << "opening the manager waited on a FIFO";
    ASSERT_EQ(rc, TWRC_SUCCESS);
    std::vector<TW_IDENTITY> sources = app.Sources();
    EXPECT_EQ(Names(sources), (std::vector<std::string>{"Linked", "Real"}));

    // A listed library replaced by a FIFO before it is opened.
    ASSERT_EQ(sources.size(), 2u);
    const std::string real = env.sources() + "/real.ds";
    std::filesystem::remove(real);
    ASSERT_EQ(::mkfifo(real.c_str(), 0600), 0);
    EXPECT_TRUE(ReturnsWithoutWaitingOnFifo(real, [&] { return app.OpenSource(sources[1]); }, rc))
        << "opening the source waited on a FIFO";
    EXPECT_EQ(rc, TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_NODS);
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);

    const auto lines = env.DsmLogLines();
    for (const char* name : {"trap.ds", "trap-link.ds", "dangling.ds", "real.ds"})
        EXPECT_EQ(Matching(lines, {"Not a regular file, skipped: " + env.sources() + "/" + name}).size(), 1u) << name;
    EXPECT_TRUE(Matching(lines, {"Could not load library"}).empty());
    // The FIFOs are still there, as they were.
    for (const std::string& path : {fifo, real}) {
        struct stat st;
        ASSERT_EQ(::lstat(path.c_str(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode)) << path;
    }
}

TEST_F(DsmSources, FolderLinksStayInsideTheSourceFolder) {
    env.EnableDsmLog();
    namespace fs = std::filesystem;
    env.AddVirtualSource("", "direct", {"product=Direct"});
    env.AddVirtualSource("vendor/2.1", "vendor", {"product=Vendor"});
    // A folder outside with a library of its own, reached by links from
    // inside: a link straight to it, one to the folder above the source
    // folder, one to the file system's root.
    const std::string outside = env.root() + "/elsewhere";
    fs::create_directories(outside);
    fs::copy_file(TESSAVAN_VDS_PATH, outside + "/stray.ds");
    std::ofstream(outside + "/stray.ini") << "product=Stray\n";
    fs::create_symlink(outside, env.sources() + "/out");
    fs::create_symlink("..", env.sources() + "/up");
    fs::create_symlink("/", env.sources() + "/slash");
    // A link inside (listed before the folder it leads to) is followed.
    fs::create_symlink("vendor/2.1", env.sources() + "/current");
    // The source folder itself may be a link.
    const std::string linkedRoot = env.root() + "/sources-link";
    fs::create_symlink(env.sources(), linkedRoot);
    ScopedEnv folder("TESSAVAN_TWAIN_SOURCES", linkedRoot.c_str());

    TestApp app("Homebound");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    const std::vector<TW_IDENTITY> sources = app.Sources();
    EXPECT_EQ(Names(sources), (std::vector<std::string>{"Direct", "Vendor"}));
    // The vendor's library was found through the link inside.
    if (sources.size() == 2) {
        TW_TWUNKIDENTITY twunk{};
        twunk.identity = sources[1];
        ASSERT_EQ(app.Call(nullptr, DG_CONTROL, DAT_TWUNKIDENTITY, MSG_GET, &twunk), TWRC_SUCCESS);
        EXPECT_EQ(std::string(twunk.dsPath), linkedRoot + "/current/vendor.ds");
    }
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);
    const auto lines = env.DsmLogLines();
    for (const char* name : {"out", "up", "slash"})
        EXPECT_EQ(Matching(lines, {"Folder link leads out of the source folder, skipped: " + linkedRoot + "/" + name})
                      .size(),
                  1u)
            << name;
    EXPECT_TRUE(Matching(lines, {"stray.ds"}).empty());
}

TEST_F(DsmSources, FortyNineSourcesPerApplication) {
    env.EnableDsmLog();
    for (int i = 0; i < 50; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "s%02d", i);
        env.LinkVirtualSource("", name, {std::string("product=Source ") + name});
    }
    TestApp app("Crowded");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    const auto sources = app.Sources();
    ASSERT_EQ(sources.size(), 49u);
    EXPECT_EQ(std::string(sources.back().ProductName), "Source s48");
    EXPECT_EQ(sources.back().Id, 49u);
    EXPECT_EQ(Matching(env.DsmLogLines(), {"Too many DS's already open."}).size(), 1u);
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);
}

TEST_F(DsmSources, EnumerationSequence) {
    env.AddVirtualSource("", "one", {"product=One"});
    env.AddVirtualSource("", "two", {"product=Two"});
    TestApp app("Lister");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY s{};
    struct Step {
        TW_UINT16 msg;
        TW_UINT16 rc;
        const char* name;  // the source copied, or the condition code's meaning
        TW_UINT16 code;
    };
    const Step steps[] = {
        {MSG_GETNEXT, TWRC_FAILURE, nullptr, TWCC_SEQERROR},  // no MSG_GETFIRST yet
        {MSG_GETFIRST, TWRC_SUCCESS, "One", TWCC_SUCCESS},
        {MSG_GETNEXT, TWRC_SUCCESS, "Two", TWCC_SUCCESS},
        {MSG_GETNEXT, TWRC_ENDOFLIST, nullptr, TWCC_SUCCESS},
        {MSG_GETNEXT, TWRC_FAILURE, nullptr, TWCC_SEQERROR},  // the end resets the iteration
        {MSG_GETFIRST, TWRC_SUCCESS, "One", TWCC_SUCCESS},
    };
    for (const Step& step : steps) {
        s = TW_IDENTITY{};
        EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, step.msg, &s), step.rc) << step.msg;
        if (step.name) {
            EXPECT_EQ(std::string(s.ProductName), step.name);
        }
        EXPECT_EQ(app.Status(), step.code);
    }
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, nullptr), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_BADDEST);
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);

    // An empty folder lists nothing.
    std::filesystem::remove_all(env.sources());
    std::filesystem::create_directories(env.sources());
    TestApp lonely("Lonely");
    ASSERT_EQ(lonely.Open(), TWRC_SUCCESS);
    EXPECT_EQ(lonely.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &s), TWRC_ENDOFLIST);
    EXPECT_EQ(lonely.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &s), TWRC_FAILURE);
    EXPECT_EQ(lonely.Status(), TWCC_NODS);
    EXPECT_EQ(lonely.Close(), TWRC_SUCCESS);
}

TEST_F(DsmSources, DefaultSourceIsKeptInAUserFile) {
    env.AddVirtualSource("", "one", {"product=One"});
    const std::string twoPath = env.AddVirtualSource("", "two", {"product=Two"});
    const std::string file = env.configHome() + "/tessavan/twain-default-source";
    EXPECT_EQ(DsmDefaultSourceFile(), file);

    auto defaultName = [](TestApp& app) {
        TW_IDENTITY s{};
        EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &s), TWRC_SUCCESS);
        return std::string(s.ProductName);
    };
    TestApp app("Chooser");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    EXPECT_EQ(defaultName(app), "One") << "no default stored: the first source";
    {
        std::filesystem::create_directories(env.configHome() + "/tessavan");
        std::ofstream(file) << env.sources() << "/gone.ds\n";
    }
    EXPECT_EQ(defaultName(app), "One") << "a stored library that was not found: the first source";

    TW_IDENTITY two = *app.SourceNamed("Two");
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_SET, &two), TWRC_SUCCESS);
    std::ifstream in(file);
    std::string stored;
    std::getline(in, stored);
    EXPECT_EQ(stored, twoPath);
    EXPECT_EQ(defaultName(app), "Two");
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);

    // A new manager reads the same file; opening with an empty identity
    // opens the default.
    TestApp later("Later");
    ASSERT_EQ(later.Open(), TWRC_SUCCESS);
    TW_IDENTITY any{};
    ASSERT_EQ(later.OpenSource(any), TWRC_SUCCESS);
    EXPECT_EQ(std::string(any.ProductName), "Two");
    EXPECT_EQ(later.CloseSource(any), TWRC_SUCCESS);

    // Refusals of MSG_SET.
    TW_IDENTITY bad = two;
    bad.Id = 0;
    EXPECT_EQ(later.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_SET, &bad), TWRC_FAILURE);
    EXPECT_EQ(later.Status(), TWCC_BADVALUE);
    bad.Id = 7;  // not listed
    EXPECT_EQ(later.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_SET, &bad), TWRC_FAILURE);
    EXPECT_EQ(later.Status(), TWCC_BADVALUE);
    EXPECT_EQ(later.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_SET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(later.Status(), TWCC_BADDEST);
    EXPECT_EQ(later.Close(), TWRC_SUCCESS);
}

TEST_F(DsmSources, DefaultThatCannotBeStoredIsAFailure) {
    env.AddVirtualSource("", "one", {"product=One"});
    // The configuration "folder" is a file: nothing can be stored.
    const std::string blocked = env.root() + "/blocked";
    std::ofstream(blocked) << "x";
    ScopedEnv config("XDG_CONFIG_HOME", blocked.c_str());
    TestApp app("Stuck");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY one = app.Sources().at(0);
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_SET, &one), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_BUMMER);
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);
}

TEST_F(DsmSources, UseAppIdDecidesWhatTheProbeSends) {
    env.EnableDsmLog();
    env.AddVirtualSource("", "probe", {"product=Probe"});
    struct Case {
        const char* value;  // null: unset
        const char* origin;
        const char* flag;
    };
    const Case cases[] = {{nullptr, "origin=Probing App", "(DSM_USEAPPID:1)"},
                          {"", "origin=Probing App", "(DSM_USEAPPID:1)"},
                          {"1", "origin=null", "(DSM_USEAPPID:0)"},
                          {"0", "origin=null", "(DSM_USEAPPID:0)"},
                          {"yes", "origin=null", "(DSM_USEAPPID:0)"}};
    for (const Case& c : cases) {
        std::filesystem::remove(env.root() + "/probe.calls");
        ScopedEnv use("DSM_USEAPPID", c.value);
        TestApp app("Probing App");
        ASSERT_EQ(app.Open(), TWRC_SUCCESS);
        EXPECT_EQ(app.Sources().size(), 1u);
        EXPECT_EQ(app.Close(), TWRC_SUCCESS);
        const auto calls = env.SourceLog("probe");
        ASSERT_FALSE(calls.empty());
        EXPECT_NE(calls[0].find(c.origin), std::string::npos) << (c.value ? c.value : "unset") << ": " << calls[0];
        EXPECT_FALSE(Matching(env.DsmLogLines(), {"Loaded library: ", c.flag}).empty()) << c.flag;
    }
}

TEST_F(DsmSources, OpenByIdNameOrDefaultAndClose) {
    env.AddVirtualSource("", "one", {"product=One"});
    env.AddVirtualSource("", "two", {"product=Two"});
    TestApp app("Opener");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    struct Case {
        TW_UINT32 id;
        const char* name;
        const char* opened;  // null: refused with TWCC_NODS
    };
    const Case cases[] = {{2, "", "Two"}, {0, "Two", "Two"}, {0, "", "One"}, {0, "Nobody", nullptr}, {9, "", nullptr}};
    const std::vector<TW_IDENTITY> listed = app.Sources();
    for (const Case& c : cases) {
        // By id: the identity as listed; otherwise a blank one with the name.
        TW_IDENTITY s{};
        if (c.id >= 1 && c.id <= listed.size()) {
            s = listed[c.id - 1];
        } else {
            s.Id = c.id;
            std::strncpy(s.ProductName, c.name, sizeof s.ProductName - 1);
        }
        if (!c.opened) {
            EXPECT_EQ(app.OpenSource(s), TWRC_FAILURE) << c.id << c.name;
            EXPECT_EQ(app.Status(), TWCC_NODS);
            continue;
        }
        ASSERT_EQ(app.OpenSource(s), TWRC_SUCCESS) << c.id << c.name;
        EXPECT_EQ(std::string(s.ProductName), c.opened);
        TW_UINT32 value = 0;
        TW_UINT16 conType = 0;
        EXPECT_EQ(app.GetCap(s, ICAP_PIXELTYPE, MSG_GETCURRENT, value, conType), TWRC_SUCCESS);
        EXPECT_EQ(app.CloseSource(s), TWRC_SUCCESS);
        // Closed: calls no longer reach it.
        EXPECT_EQ(app.GetCap(s, ICAP_PIXELTYPE, MSG_GETCURRENT, value, conType), TWRC_FAILURE);
        EXPECT_EQ(app.Status(), TWCC_OPERATIONERROR);
        EXPECT_EQ(app.CloseSource(s), TWRC_SUCCESS) << "closing a closed source";
    }
    // The source got the entry point first, then the open with the
    // application as origin.
    const auto calls = env.SourceLog("two");
    const auto entry = Matching(calls, {"dat=" + Hex4(DAT_ENTRYPOINT), "rc=0"});
    const auto open = Matching(calls, {"dat=" + Hex4(DAT_IDENTITY), "msg=" + Hex4(MSG_OPENDS), "rc=0"});
    EXPECT_EQ(entry.size(), 2u);
    EXPECT_EQ(open.size(), 2u);
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);
}

TEST_F(DsmSources, SourceThatRefusesToOpen) {
    env.AddVirtualSource("", "offline", {"product=Offline", "refuse_open=23"});
    TestApp app("Hopeful");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY s = app.Sources().at(0);
    EXPECT_EQ(app.OpenSource(s), TWRC_FAILURE);
    // The code is the one the source reported.
    EXPECT_EQ(app.Status(), TWCC_CHECKDEVICEONLINE);
    const auto calls = env.SourceLog("offline");
    EXPECT_EQ(Matching(calls, {"dat=" + Hex4(DAT_STATUS), "msg=" + Hex4(MSG_GET)}).size(), 1u);
    // It was unloaded again: calls do not reach it.
    TW_UINT32 value = 0;
    TW_UINT16 conType = 0;
    EXPECT_EQ(app.GetCap(s, ICAP_PIXELTYPE, MSG_GET, value, conType), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_OPERATIONERROR);
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);
}

TEST_F(DsmSources, OpeningAnOpenSourceAgainIsRefused) {
    env.AddVirtualSource("", "one", {"product=One"});
    TestApp app("Eager");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY s = app.Sources().at(0);
    ASSERT_EQ(app.OpenSource(s), TWRC_SUCCESS);
    ASSERT_EQ(app.SetCap(s, ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
    TW_IDENTITY again = s;
    EXPECT_EQ(app.OpenSource(again), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_SEQERROR);
    // The open session is untouched: the source still answers with what was
    // set in it.
    TW_UINT32 value = 0;
    TW_UINT16 conType = 0;
    ASSERT_EQ(app.GetCap(s, ICAP_PIXELTYPE, MSG_GETCURRENT, value, conType), TWRC_SUCCESS);
    EXPECT_EQ(value, TWPT_GRAY);
    EXPECT_EQ(app.CloseSource(s), TWRC_SUCCESS);
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);
}

TEST_F(DsmSources, ClosingTheManagerShutsDownOpenSources) {
    env.EnableDsmLog();
    env.AddVirtualSource("", "one", {"product=One", "notify=none"});
    env.AddVirtualSource("", "two", {"product=Two"});
    env.AddVirtualSource("", "three", {"product=Three"});
    TestApp app("Careless");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    auto sources = app.Sources();
    ASSERT_EQ(sources.size(), 3u);
    for (TW_IDENTITY& s : sources) ASSERT_EQ(app.OpenSource(s), TWRC_SUCCESS);
    ASSERT_EQ(app.Enable(sources[0]), TWRC_SUCCESS);
    ASSERT_EQ(app.Close(), TWRC_SUCCESS);
    EXPECT_TRUE(ManagerGone());

    const std::vector<std::string> sequence = {Hex4(DAT_PENDINGXFERS) + " msg=" + Hex4(MSG_ENDXFER),
                                               Hex4(DAT_PENDINGXFERS) + " msg=" + Hex4(MSG_RESET),
                                               Hex4(DAT_USERINTERFACE) + " msg=" + Hex4(MSG_DISABLEDS),
                                               Hex4(DAT_IDENTITY) + " msg=" + Hex4(MSG_CLOSEDS)};
    for (const char* name : {"one", "two", "three"}) {
        const auto calls = env.SourceLog(name);
        ASSERT_GE(calls.size(), 4u) << name;
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_NE(calls[calls.size() - 4 + i].find("dat=" + sequence[i]), std::string::npos)
                << name << ": " << calls[calls.size() - 4 + i];
    }
    // The enabled one really went back through the states to closed.
    EXPECT_NE(env.SourceLog("one").back().find("state=4->3"), std::string::npos);
    EXPECT_EQ(Matching(env.DsmLogLines(), {"MSG_CLOSEDSM called with drivers still open."}).size(), 3u);
}

TEST_F(DsmSources, PathOfAnOpenSource) {
    // A folder name long enough that the library's path needs more room than
    // the record's path field has.
    const std::string folder(248 - env.sources().size(), 'p');
    const std::string path = env.AddVirtualSource(folder, "long", {"product=Long"});
    ASSERT_EQ(path.size(), 257u);
    ASSERT_LT(path.size(), 260u);
    env.AddVirtualSource("", "short", {"product=Short"});
    TestApp app("Path Reader");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    auto sources = app.Sources();
    ASSERT_EQ(sources.size(), 2u);

    struct Record {
        TW_TWUNKIDENTITY twunk;
        char guard[16];
    };
    for (const TW_IDENTITY& s : sources) {
        Record record{};
        std::memset(&record, 0x5A, sizeof record);
        record.twunk.identity = s;
        ASSERT_EQ(app.Call(nullptr, DG_CONTROL, DAT_TWUNKIDENTITY, MSG_GET, &record.twunk), TWRC_SUCCESS);
        const std::string expected = std::string(s.ProductName) == "Long" ? path.substr(0, 255)
                                                                           : env.sources() + "/short.ds";
        EXPECT_EQ(std::string(record.twunk.dsPath), expected);
        for (char c : record.guard) EXPECT_EQ(c, 0x5A) << "nothing is written past the record";
    }
    TW_TWUNKIDENTITY twunk{};
    twunk.identity.Id = 5;
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_TWUNKIDENTITY, MSG_GET, &twunk), TWRC_FAILURE);
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_TWUNKIDENTITY, MSG_SET, &twunk), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_BADPROTOCOL);
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_TWUNKIDENTITY, MSG_GET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_BADVALUE);
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);
}

TEST_F(DsmSources, OlderSourcesGetNoEntryPoint) {
    // A source without the TWAIN 2 flag is opened without DAT_ENTRYPOINT; it
    // has no memory functions, so it cannot hand out capability containers.
    env.AddVirtualSource("", "old", {"product=Old", "groups=0x00000003", "protocol=1.9"});
    TestApp app("Modern");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY s = app.Sources().at(0);
    EXPECT_EQ(s.ProtocolMajor, 1);
    ASSERT_EQ(app.OpenSource(s), TWRC_SUCCESS);
    EXPECT_TRUE(Matching(env.SourceLog("old"), {"dat=" + Hex4(DAT_ENTRYPOINT)}).empty());
    TW_UINT32 value = 0;
    TW_UINT16 conType = 0;
    EXPECT_EQ(app.GetCap(s, ICAP_PIXELTYPE, MSG_GET, value, conType), TWRC_FAILURE);
    EXPECT_EQ(app.Status(&s), TWCC_LOWMEMORY);
    EXPECT_EQ(app.CloseSource(s), TWRC_SUCCESS);
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);
}

TEST_F(DsmSources, CallsThatCannotReachASource) {
    env.EnableDsmLog();
    env.AddVirtualSource("", "one", {"product=One"});
    TestApp app("Lost");
    TestApp stranger("Stranger");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY s = app.Sources().at(0);
    TW_PENDINGXFERS pending{};
    // Not opened: no DS_Entry to call.
    EXPECT_EQ(app.Call(&s, DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_OPERATIONERROR);
    // A source id outside the list: refused, the code goes to the manager.
    TW_IDENTITY unknown = s;
    unknown.Id = 2;
    EXPECT_EQ(app.Call(&unknown, DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_SUCCESS);
    EXPECT_EQ(stranger.Status(), TWCC_BADPROTOCOL);
    // An application that never opened the manager.
    EXPECT_EQ(stranger.Call(&s, DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_FAILURE);
    EXPECT_EQ(stranger.Status(), TWCC_SEQERROR);
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);
    const auto lines = env.DsmLogLines();
    EXPECT_EQ(Matching(lines, {"DS_Entry is null...1"}).size(), 1u);
    EXPECT_EQ(Matching(lines, {"Bad TW_IDENTITY"}).size(), 1u);
    EXPECT_EQ(Matching(lines, {"DS is not open"}).size(), 1u);
}

}  // namespace
