// The settings tables against facts written out by hand from the settings'
// description (start and restore values, the dialogs' limits, the
// configuration file's groups, attribute order and number formats), in a
// notation of their own so that the code's table is not consulted to build
// them; and the operations that read the tables: lookup, restore defaults,
// clamping, typed storing.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "settings/DetectSetting.h"
#include "settings/ProcessSetting.h"
#include "settings/ScanSetting.h"
#include "settings/SettingsTable.h"

namespace {

using PS = ProcessSetting;
using settings::Format;
using settings::Limit;
using settings::Setting;
using settings::ValueType;

// One expected row: the setting's name ("group/key" or its own name), the
// member it must be stored in, its type, its start value, its limits as the
// dialogs apply them ("slider lo..hi", "list lo..hi", "clamped lo..hi",
// "clamped lo..", "refused lo..hi", "bits mask", "ours lo..hi" for bounds
// that only processing applies, "" for none) and how the configuration file
// writes it ("flag", "%d", "%.1f", "%.2f", or "" when the file does not carry
// it).
struct Expected {
    const char* name;
    const void* field;
    const char* type;
    double start;
    const char* limits;
    const char* format = "";
};

// Every processing setting: the configuration file's 18 groups and their
// attributes in the file's order, then the values the file does not carry.
std::vector<Expected> ProcessRows() {
    return {
        {"rmbkcolor/on", &PS::rmbkcolor.on, "flag", 1, "", "flag"},
        {"rmbkcolor/bright", &PS::rmbkcolor.bright, "int", 40, "slider -50..255", "%d"},
        {"rmbkcolor/contrast", &PS::rmbkcolor.contrast, "int", 50, "slider -50..255", "%d"},
        {"rmbkcolor/curve", &PS::rmbkcolor.curve, "int", 50, "slider 0..80", "%d"},
        {"rmbkcolor/allpic", &PS::rmbkcolor.allpic, "flag", 1, "", "flag"},
        {"rmbkcolor/colordelta", &PS::rmbkcolor.colordelta, "int", 25, "refused 1..100", "%d"},
        {"rmbkcolor/colorsatuation", &PS::rmbkcolor.colorsatuation, "float", 0.15f, "refused 0..1", "%.2f"},
        {"rmbkcolor/rmcolortype", &PS::rmbkcolor.rmcolortype, "int", 0, "list 0..3", "%d"},
        {"rmbkcolor/illstration", &PS::rmbkcolor.illstration, "int", 0, "list 0..2", "%d"},
        {"rmbkcolor/illstrationcontrast", &PS::rmbkcolor.illstrationcontrast, "int", 0, "slider -50..0", "%d"},
        {"rmbkcolor/illstrationbright", &PS::rmbkcolor.illstrationbright, "int", 0, "slider 0..100", "%d"},

        {"autocontrast/on", &PS::autocontrast.on, "int", 0, "", "%d"},
        {"autocontrast/high", &PS::autocontrast.high, "float", 0.1f, "", "%.1f"},
        {"autocontrast/low", &PS::autocontrast.low, "float", 0.1f, "", "%.1f"},

        {"rmblackboard/on", &PS::rmblackboard.on, "int", 0, "", "%d"},
        {"rmblackboard/ratioarea", &PS::rmblackboard.ratioarea, "int", 5, "clamped 1..20", "%d"},
        {"rmblackboard/whiteframewid", &PS::rmblackboard.whiteframewid, "int", 10, "clamped 1..100", "%d"},
        {"rmblackboard/includecolorpixel", &PS::rmblackboard.includecolorpixel, "flag", 0, "", "flag"},

        {"rmblackborder/on", &PS::rmblackborder.on, "flag", 0, "", "%d"},
        {"rmblackborder/ratioarea", &PS::rmblackborder.ratioarea, "float", 4.0f, "", "%.1f"},
        {"rmblackborder/threhold", &PS::rmblackborder.threhold, "int", 160, "", "%d"},
        {"rmblackborder/type", &PS::rmblackborder.type, "int", 0, "list 0..1", "%d"},
        {"rmblackborder/region", &PS::rmblackborder.region, "int", 0, "list 0..1", "%d"},
        {"rmblackborder/left", &PS::rmblackborder.left, "int", 10, "", "%d"},
        {"rmblackborder/top", &PS::rmblackborder.top, "int", 10, "", "%d"},
        {"rmblackborder/right", &PS::rmblackborder.right, "int", 10, "", "%d"},
        {"rmblackborder/bottom", &PS::rmblackborder.bottom, "int", 10, "", "%d"},
        {"rmblackborder/ratio", &PS::rmblackborder.ratio, "int", 5, "ours 0..100", "%d"},

        {"correct/on", &PS::correct.on, "flag", 1, "", "flag"},
        {"correct/method", &PS::correct.method, "int", 0, "list 0..2", "%d"},
        {"correct/angle", &PS::correct.angle, "int", 5, "list 5..30", "%d"},
        {"correct/fillcolor", &PS::correct.fillcolor, "int", 1, "", "%d"},
        {"correct/textdirecthor", &PS::correct.textdirecthor, "flag", 1, "", "flag"},
        {"correct/keepsize", &PS::correct.keepsize, "flag", 0, "", "flag"},

        {"center/on", &PS::center.on, "int", 0, "", "%d"},
        {"center/type", &PS::center.type, "int", 0, "bits 3", "%d"},
        {"center/checkscalehor", &PS::center.checkscalehor, "float", 2.0f, "clamped 0.1..50", "%.1f"},
        {"center/checkscalever", &PS::center.checkscalever, "float", 2.0f, "clamped 0.1..50", "%.1f"},
        {"center/allobj", &PS::center.allobj, "flag", 1, "", "flag"},

        {"cutwhite/on", &PS::cutwhite.on, "int", 0, "list 0..1", "flag"},
        {"cutwhite/checkscale", &PS::cutwhite.checkscale, "float", 2.0f, "clamped 0.1..80", "%.1f"},
        {"cutwhite/threholdtype", &PS::cutwhite.threholdtype, "int", 0, "list 0..1", "%d"},
        {"cutwhite/threhold", &PS::cutwhite.threhold, "int", 128, "", "%d"},
        {"cutwhite/margin", &PS::cutwhite.margin, "int", 0, "list 0..1", "%d"},

        {"cutbybkcolor/on", &PS::cutbybkcolor.on, "int", 0, "list 0..1", "flag"},
        {"cutbybkcolor/red", &PS::cutbybkcolor.red, "int", 0, "list 0..1", "flag"},
        {"cutbybkcolor/yellow", &PS::cutbybkcolor.yellow, "int", 0, "list 0..1", "flag"},
        {"cutbybkcolor/green", &PS::cutbybkcolor.green, "int", 0, "list 0..1", "flag"},
        {"cutbybkcolor/cyan", &PS::cutbybkcolor.cyan, "int", 0, "list 0..1", "flag"},
        {"cutbybkcolor/blue", &PS::cutbybkcolor.blue, "int", 0, "list 0..1", "flag"},
        {"cutbybkcolor/purple", &PS::cutbybkcolor.purple, "int", 0, "list 0..1", "flag"},
        {"cutbybkcolor/black", &PS::cutbybkcolor.black, "int", 0, "list 0..1", "flag"},
        {"cutbybkcolor/white", &PS::cutbybkcolor.white, "int", 0, "list 0..1", "flag"},
        {"cutbybkcolor/margin", &PS::cutbybkcolor.margin, "float", 0.0f, "clamped 0..", "%.1f"},
        {"cutbybkcolor/contentratio", &PS::cutbybkcolor.contentratio, "float", 50.0f, "clamped 0.1..100", "%.1f"},
        {"cutbybkcolor/skipwhite", &PS::cutbybkcolor.skipwhite, "flag", 0, "", "flag"},
        {"cutbybkcolor/magrinunit", &PS::cutbybkcolor.magrinunit, "int", 0, "list 0..1", "%d"},

        {"bindhole/on", &PS::bindhole.on, "int", 0, "", "%d"},
        {"bindhole/left", &PS::bindhole.left, "int", 10, "", "%d"},
        {"bindhole/right", &PS::bindhole.right, "int", 10, "", "%d"},
        {"bindhole/top", &PS::bindhole.top, "int", 0, "", "%d"},
        {"bindhole/bottom", &PS::bindhole.bottom, "int", 0, "", "%d"},
        {"bindhole/areamin", &PS::bindhole.areamin, "int", 2, "ours 0..1000", "%d"},
        {"bindhole/areamax", &PS::bindhole.areamax, "int", 100, "ours 0..1000", "%d"},
        {"bindhole/radius", &PS::bindhole.radius, "int", 1, "ours 0..10", "%d"},
        {"bindhole/ignore", &PS::bindhole.ignore, "int", 10, "", "%d"},
        {"bindhole/backtype", &PS::bindhole.backtype, "int", 0, "", "%d"},
        {"bindhole/colordelta", &PS::bindhole.colordelta, "int", 25, "", "%d"},

        {"rmstains/on", &PS::rmstains.on, "flag", 0, "", "%d"},
        {"rmstains/areamax", &PS::rmstains.areamax, "float", 4.0f, "clamped 0..", "%.1f"},
        {"rmstains/threhold", &PS::rmstains.threhold, "int", 160, "clamped 0..254", "%d"},

        {"rmredseal/on", &PS::rmredseal.on, "int", 0, "", "%d"},
        {"rmredseal/type", &PS::rmredseal.type, "int", 0, "list 0..1", "%d"},
        {"rmredseal/area", &PS::rmredseal.area, "int", 100, "", "%d"},
        {"rmredseal/erase", &PS::rmredseal.erase, "int", 20, "slider 0..60", "%d"},
        {"rmredseal/textstren", &PS::rmredseal.textstren, "int", 10, "slider 0..30", "%d"},

        {"strenredseal/on", &PS::strenredseal.on, "int", 0, "", "%d"},
        {"strenredseal/type", &PS::strenredseal.type, "int", 0, "list 0..1", "%d"},
        {"strenredseal/area", &PS::strenredseal.area, "int", 100, "", "%d"},
        {"strenredseal/strenvalue", &PS::strenredseal.strenvalue, "int", 30, "slider 1..99", "%d"},

        {"rmblankpage/on", &PS::rmblankpage.on, "int", 0, "", "%d"},
        {"rmblankpage/type", &PS::rmblankpage.type, "int", 2, "list 1..2", "%d"},
        {"rmblankpage/threhold", &PS::rmblankpage.threhold, "int", 128, "", "%d"},
        {"rmblankpage/contentpercent", &PS::rmblankpage.contentpercent, "float", 1.0f, "", "%.1f"},
        {"rmblankpage/textpercent", &PS::rmblankpage.textpercent, "float", 0.1f, "", "%.1f"},

        {"modifycolor/on", &PS::modifycolor.on, "int", 0, "", "%d"},
        // red 254, green 249, blue 197
        {"modifycolor/bkcolor", &PS::modifycolor.bkcolor, "colour", 12974590, "", "%d"},
        {"modifycolor/ignorepic", &PS::modifycolor.ignorepic, "int", 1, "list 0..2", "%d"},

        {"rotatetextdirect/on", &PS::rotatetextdirect.on, "int", 0, "", "%d"},
        {"rotatetextdirect/percent", &PS::rotatetextdirect.percent, "int", 0, "", "%d"},

        {"output/on", &PS::output.on, "int", 0, "list 0..1", "%d"},
        {"output/sizetype", &PS::output.sizetype, "int", 0, "", "%d"},
        {"output/widpixel", &PS::output.widpixel, "int", 2480, "clamped 1..32768", "%d"},
        {"output/heipixel", &PS::output.heipixel, "int", 3508, "clamped 1..32768", "%d"},
        {"output/fillcolor", &PS::output.fillcolor, "int", 1, "list 0..1", "%d"},
        {"output/maintainhw", &PS::output.maintainhw, "int", 1, "list 0..1", "%d"},

        {"dpi/on", &PS::dpi.on, "int", 0, "list 0..1", "%d"},
        {"dpi/dst", &PS::dpi.dst, "int", 300, "list 96..600", "%d"},

        {"filesave/jpgquality", &PS::filesave.jpgquality, "int", 85, "slider 0..100", "%d"},
        {"filesave/retaincolor", &PS::filesave.retaincolor, "flag", 1, "", "flag"},
        {"filesave/tiffcompress", &PS::filesave.tiffcompress, "int", 0, "list 0..2", "%d"},

        {"keeporigcolor", &PS::keeporigcolor, "flag", 1, ""},
        {"colorradius", &PS::colorradius, "float", 0.1f, "clamped 0..6"},
        {"strokewidth", &PS::strokewidth, "int", 5, "list 0..12"},
        {"tryothers", &PS::tryothers, "flag", 1, ""},
        {"twocolumns", &PS::twocolumns, "flag", 0, ""},
        {"marginleftpx", &PS::marginleftpx, "int", 25, ""},
        {"margintoppx", &PS::margintoppx, "int", 25, ""},
        {"marginrightpx", &PS::marginrightpx, "int", 25, ""},
        {"marginbottompx", &PS::marginbottompx, "int", 25, ""},
        {"marginleftmm", &PS::marginleftmm, "float", 3.0f, ""},
        {"margintopmm", &PS::margintopmm, "float", 3.0f, ""},
        {"marginrightmm", &PS::marginrightmm, "float", 3.0f, ""},
        {"marginbottommm", &PS::marginbottommm, "float", 3.0f, ""},
        {"holethresholdmin", &PS::holethresholdmin, "int", 0, ""},
        {"holethresholdmax", &PS::holethresholdmax, "int", 128, ""},
        {"holefillcolor", &PS::holefillcolor, "int", 0, "list 0..1"},
        {"compareimage", &PS::compareimage, "int", 0, "bits 7"},
        {"PlacementMode", &PS::PlacementMode, "int", 0, "list 0..3"},
    };
}

// Restore values where they differ from the start value; PlacementMode is
// not restored at all.
const std::map<std::string, double> kRestoreValues = {
    {"colorradius", 2.0f}, {"bindhole/top", 10}, {"bindhole/bottom", 10}};
const char* const kNotRestored = "PlacementMode";

// Lists offering only some values of their range.
const std::map<std::string, std::vector<int>> kChoices = {
    {"correct/angle", {5, 15, 30}},
    {"dpi/dst", {96, 200, 300, 600}},
    {"strokewidth", {0, 5, 8, 12}},
    {"dpi", {72, 96, 100, 200, 300, 600, 1200, 2400}},
    {"bitDepth", {1, 8, 24}},
};

// Messages of the dialogs that refuse a value.
const std::map<std::string, std::wstring> kRefusals = {
    {"rmbkcolor/colordelta", L"色差范围为0到100."},
    {"rmbkcolor/colorsatuation", L"饱和度范围[0,1]."},
    {"minAngle", L"最大角度必须大于最小角度."},
};

std::vector<Expected> ScanRows() {
    using SS = ScanSetting;
    return {
        {"dpi", &SS::dpi, "int", 300, "list 72..2400"},
        {"duplex", &SS::duplex, "int", 0, "list 0..1"},
        {"bitDepth", &SS::bitDepth, "int", 24, "list 1..24"},
        {"pixelType", &SS::pixelType, "int", 2, "list 0..2"},
        {"fileFormat", &SS::fileFormat, "int", 0, "list 0..1"},
        // The compression list's item: two for Jpg, four for Tif.
        {"compression", &SS::compression, "int", 0, "list 0..3"},
        {"jpegQuality", &SS::jpegQuality, "int", 85, "slider 0..100"},
        {"g_useDriverUI", &g_useDriverUI, "int", 0, "list 0..1"},
        // An edit of one character.
        {"codeLength", &SS::codeLength, "int", 6, "list 0..9"},
        {"startCode", &SS::startCode, "int", 1, ""},
        {"disconnectOnClose", &SS::disconnectOnClose, "flag", 1, ""},
        {"stopProcessingOnClose", &SS::stopProcessingOnClose, "flag", 1, ""},
    };
}

std::vector<Expected> ScanStepRows() {
    using SF = ScanStepFlags;
    return {
        {"rmbkcolor", &SF::rmbkcolor, "flag", 0, ""},
        {"rmblackboard", &SF::rmblackboard, "flag", 0, ""},
        {"rmblackborder", &SF::rmblackborder, "flag", 0, ""},
        {"bindhole", &SF::bindhole, "flag", 0, ""},
        {"rmstains", &SF::rmstains, "flag", 0, ""},
        {"correct", &SF::correct, "flag", 0, ""},
        {"center", &SF::center, "flag", 0, ""},
        {"cutbybkcolor", &SF::cutbybkcolor, "flag", 0, ""},
        {"cutwhite", &SF::cutwhite, "flag", 0, ""},
        {"autocontrast", &SF::autocontrast, "flag", 0, ""},
        {"rmredseal", &SF::rmredseal, "flag", 0, ""},
        {"strenredseal", &SF::strenredseal, "flag", 0, ""},
        {"rmblankpage", &SF::rmblankpage, "flag", 0, ""},
        {"modifycolor", &SF::modifycolor, "flag", 0, ""},
        {"rotatetextdirect", &SF::rotatetextdirect, "flag", 0, ""},
        {"output", &SF::output, "flag", 0, ""},
    };
}

std::vector<Expected> DetectRows() {
    using DS = DetectSetting;
    return {
        {"kind", &DS::kind, "int", 0, "list 0..2"},
        {"correct", &DS::correct, "flag", 0, ""},
        {"red", &DS::red, "int", 0, "list 0..1"},
        {"yellow", &DS::yellow, "int", 0, "list 0..1"},
        {"green", &DS::green, "int", 0, "list 0..1"},
        {"cyan", &DS::cyan, "int", 0, "list 0..1"},
        {"blue", &DS::blue, "int", 0, "list 0..1"},
        {"purple", &DS::purple, "int", 0, "list 0..1"},
        {"black", &DS::black, "int", 0, "list 0..1"},
        {"white", &DS::white, "int", 0, "list 0..1"},
        {"edgePixels", &DS::edgePixels, "int", 10, "clamped 1..1000"},
        {"maxAngle", &DS::maxAngle, "float", 5.0f, "clamped 0.05..30"},
        {"minAngle", &DS::minAngle, "float", 0.2f, "clamped 0.05..30"},
        {"marginPercent", &DS::marginPercent, "float", 5.0f, "clamped 0.1..30"},
    };
}

// The groups of the configuration file's `setting` element, in file order.
const std::vector<std::string> kFileGroups = {
    "rmbkcolor", "autocontrast", "rmblackboard", "rmblackborder", "correct",     "center",
    "cutwhite",  "cutbybkcolor", "bindhole",     "rmstains",      "rmredseal",   "strenredseal",
    "rmblankpage", "modifycolor", "rotatetextdirect", "output",   "dpi",         "filesave"};

// ---- Reading the notation ----

struct Limits {
    Limit limit = Limit::kNone;
    double min = -std::numeric_limits<double>::infinity();
    double max = std::numeric_limits<double>::infinity();
};

double Number(std::string_view text) {
    double v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    EXPECT_EQ(r.ec, std::errc()) << text;
    EXPECT_EQ(r.ptr, text.data() + text.size()) << text;
    return v;
}

Limits ParseLimits(std::string_view text) {
    Limits l;
    if (text.empty()) return l;
    const auto space = text.find(' ');
    const std::string_view word = text.substr(0, space), range = text.substr(space + 1);
    if (word == "bits") {
        l.limit = Limit::kBits;
        l.min = 0;
        l.max = Number(range);
        return l;
    }
    static const std::map<std::string_view, Limit> kinds = {{"slider", Limit::kControl},
                                                            {"list", Limit::kControl},
                                                            {"clamped", Limit::kClamped},
                                                            {"refused", Limit::kRefused},
                                                            {"ours", Limit::kWork}};
    EXPECT_TRUE(kinds.count(word)) << text;
    l.limit = kinds.at(word);
    const auto dots = range.find("..");
    l.min = Number(range.substr(0, dots));
    if (dots + 2 < range.size()) l.max = Number(range.substr(dots + 2));
    return l;
}

ValueType ParseType(std::string_view text) {
    static const std::map<std::string_view, ValueType> types = {{"flag", ValueType::kFlag},
                                                                {"int", ValueType::kInt},
                                                                {"float", ValueType::kFloat},
                                                                {"colour", ValueType::kColour}};
    return types.at(text);
}

Format ParseFormat(std::string_view text) {
    static const std::map<std::string_view, Format> formats = {{"", Format::kNotInFile},
                                                               {"flag", Format::kFlag},
                                                               {"%d", Format::kDecimal},
                                                               {"%.1f", Format::kOneDecimal},
                                                               {"%.2f", Format::kTwoDecimals}};
    return formats.at(text);
}

const void* FieldOf(const Setting& s) {
    return std::visit([](auto* f) { return static_cast<const void*>(f); }, s.field);
}

void ExpectTableMatches(std::span<const Setting> table, const std::vector<Expected>& rows) {
    ASSERT_EQ(table.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Expected& e = rows[i];
        const Setting& s = table[i];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(s.Name(), e.name) << "row " << i;
        EXPECT_EQ(FieldOf(s), e.field);
        EXPECT_EQ(s.type, ParseType(e.type));
        EXPECT_EQ(s.start, e.start);
        const auto restore = kRestoreValues.find(e.name);
        EXPECT_EQ(s.restore, restore == kRestoreValues.end() ? e.start : restore->second);
        EXPECT_EQ(s.keptOnRestore, std::string(e.name) == kNotRestored);
        const Limits l = ParseLimits(e.limits);
        EXPECT_EQ(s.limit, l.limit);
        if (l.limit != Limit::kNone) {
            EXPECT_EQ(s.min, l.min);
            EXPECT_EQ(s.max, l.max);
        }
        const auto choices = kChoices.find(e.name);
        const std::vector<int> want = choices == kChoices.end() ? std::vector<int>{} : choices->second;
        EXPECT_EQ(std::vector<int>(s.choices.begin(), s.choices.end()), want);
        EXPECT_EQ(s.format, ParseFormat(e.format));
        const auto refusal = kRefusals.find(e.name);
        if (refusal == kRefusals.end()) {
            EXPECT_EQ(s.refusal, nullptr);
        } else {
            ASSERT_NE(s.refusal, nullptr);
            EXPECT_EQ(std::wstring(s.refusal), refusal->second);
        }
    }
}

void ResetEverything() {
    ProcessSetting::ResetToStart();
    ScanSetting::ResetToStart();
    ScanStepFlags::ResetToStart();
    DetectSetting::ResetToStart();
}

class SettingsTable : public ::testing::Test {
protected:
    void SetUp() override { ResetEverything(); }
    void TearDown() override { ResetEverything(); }
};

}  // namespace

// Run first in its own process (as ctest runs every test): nothing has
// written a setting yet, so this compares the stores' own start values.
TEST(SettingsTableStart, EveryStoredValueAtProgramStartIsItsStartValue) {
    for (std::span<const Setting> table : settings::AllTables())
        for (const Setting& s : table) EXPECT_EQ(s.Get(), s.start) << s.Name();
}

TEST_F(SettingsTable, RowsMatchTheDescriptionOfEverySetting) {
    {
        SCOPED_TRACE("processing settings");
        ExpectTableMatches(settings::ProcessSettingTable(), ProcessRows());
    }
    {
        SCOPED_TRACE("scan settings");
        ExpectTableMatches(settings::ScanSettingTable(), ScanRows());
    }
    {
        SCOPED_TRACE("scan step switches");
        ExpectTableMatches(settings::ScanStepTable(), ScanStepRows());
    }
    {
        SCOPED_TRACE("detection settings");
        ExpectTableMatches(settings::DetectSettingTable(), DetectRows());
    }
}

TEST_F(SettingsTable, TheFileCarriesItsGroupsInOrderAndOneHundredAndOneValues) {
    const auto table = settings::ProcessSettingTable();
    std::vector<std::string> groups;
    for (std::string_view g : settings::GroupNames(table)) groups.emplace_back(g);
    std::vector<std::string> want = kFileGroups;
    want.emplace_back("");  // the values the file does not carry come last
    EXPECT_EQ(groups, want);
    int inFile = 0;
    for (const Setting& s : table) {
        inFile += s.format != Format::kNotInFile;
        EXPECT_EQ(s.group.empty(), s.format == Format::kNotInFile) << s.Name();
    }
    EXPECT_EQ(inFile, 101);
    EXPECT_EQ(table.size(), 101u + 18u);
    // A group's rows are the file's attributes in order.
    const auto centre = settings::Group(table, "center");
    std::vector<std::string> keys;
    for (const Setting& s : centre) keys.emplace_back(s.key);
    EXPECT_EQ(keys, (std::vector<std::string>{"on", "type", "checkscalehor", "checkscalever", "allobj"}));
    EXPECT_TRUE(settings::Group(table, "filedir").empty());
}

TEST_F(SettingsTable, EverySettingIsReachableByItsKeyAndItsField) {
    struct Table {
        std::span<const Setting> rows;
        std::vector<Expected> expected;
    };
    const Table tables[] = {{settings::ProcessSettingTable(), ProcessRows()},
                            {settings::ScanSettingTable(), ScanRows()},
                            {settings::ScanStepTable(), ScanStepRows()},
                            {settings::DetectSettingTable(), DetectRows()}};
    for (const Table& t : tables)
        for (const Expected& e : t.expected) {
            const std::string name = e.name;
            const auto slash = name.find('/');
            const std::string group = slash == std::string::npos ? "" : name.substr(0, slash);
            const std::string key = slash == std::string::npos ? name : name.substr(slash + 1);
            const Setting* byKey = settings::Find(t.rows, group, key);
            ASSERT_NE(byKey, nullptr) << name;
            EXPECT_EQ(FieldOf(*byKey), e.field) << name;
            EXPECT_EQ(settings::FindField(e.field), byKey) << name;
        }
    // Names that are not settings, or a key in another group.
    EXPECT_EQ(settings::Find(settings::ProcessSettingTable(), "rmbkcolor", "radius"), nullptr);
    EXPECT_EQ(settings::Find(settings::ProcessSettingTable(), "bindhole", "bright"), nullptr);
    EXPECT_EQ(settings::Find(settings::ProcessSettingTable(), "", "on"), nullptr);
    EXPECT_EQ(settings::Find(settings::ProcessSettingTable(), "other", "concurrent"), nullptr);
    int notASetting = 0;
    EXPECT_EQ(settings::FindField(&notASetting), nullptr);
}

TEST_F(SettingsTable, KeysAreUniqueInEachGroupAndFieldsInEveryTable) {
    std::set<const void*> fields;
    for (std::span<const Setting> table : settings::AllTables()) {
        std::set<std::string> names;
        for (const Setting& s : table) {
            EXPECT_TRUE(names.insert(s.Name()).second) << "twice: " << s.Name();
            EXPECT_TRUE(fields.insert(FieldOf(s)).second) << "field stored twice: " << s.Name();
            EXPECT_FALSE(s.key.empty());
        }
        // A group's rows stand together.
        std::set<std::string_view> seen;
        for (std::string_view g : settings::GroupNames(table)) EXPECT_TRUE(seen.insert(g).second) << g;
    }
}

TEST_F(SettingsTable, EveryStartAndRestoreValueLiesWithinItsLimits) {
    for (std::span<const Setting> table : settings::AllTables())
        for (const Setting& s : table) {
            SCOPED_TRACE(s.Name());
            EXPECT_TRUE(s.WithinLimits(s.start));
            EXPECT_TRUE(s.WithinLimits(s.restore));
            EXPECT_LE(s.min, s.max);
            if (!s.choices.empty()) {
                EXPECT_NE(std::find(s.choices.begin(), s.choices.end(), static_cast<int>(s.start)), s.choices.end());
                EXPECT_EQ(s.min, s.choices.front());
                EXPECT_EQ(s.max, s.choices.back());
            }
            if (s.type == ValueType::kFlag) {
                EXPECT_TRUE(s.start == 0 || s.start == 1);
            }
        }
}

TEST_F(SettingsTable, RestoreDefaultsGivesEveryValueItsRestoreValue) {
    // Every value moved away from both its start and restore values first.
    for (const Setting& s : settings::ProcessSettingTable())
        s.Set(s.type == ValueType::kFlag ? 1 - s.start : s.start + 3);
    ProcessSetting::RestoreDefaults();
    for (const Setting& s : settings::ProcessSettingTable()) {
        if (s.Name() == kNotRestored) {
            EXPECT_EQ(s.Get(), 3) << s.Name();
        } else {
            const auto restore = kRestoreValues.find(s.Name());
            EXPECT_EQ(s.Get(), restore == kRestoreValues.end() ? s.start : restore->second) << s.Name();
        }
    }
    // Resetting the other tables' values takes them back to their start.
    for (auto table : {settings::ScanSettingTable(), settings::ScanStepTable(), settings::DetectSettingTable()}) {
        for (const Setting& s : table) s.Set(s.type == ValueType::kFlag ? 1 - s.start : s.start + 1);
        settings::ResetToStart(table);
        for (const Setting& s : table) EXPECT_EQ(s.Get(), s.start) << s.Name();
    }
}

// The dialogs' clamps, as their descriptions give them, applied through the
// table: typed value -> stored value.
TEST_F(SettingsTable, ClampMapsOutOfRangeValuesToTheBoundsTheDialogsUse) {
    struct Case {
        std::span<const Setting> table;
        const char* group;
        const char* key;
        double typed, stored;
    };
    const auto P = settings::ProcessSettingTable();
    const auto D = settings::DetectSettingTable();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {P, "rmblackboard", "ratioarea", 0, 1},
        {P, "rmblackboard", "ratioarea", 25, 20},
        {P, "rmblackboard", "whiteframewid", 0, 1},
        {P, "rmblackboard", "whiteframewid", 150, 100},
        {P, "rmblackboard", "whiteframewid", 100000, 100},
        {P, "cutwhite", "checkscale", 100, 80},
        {P, "center", "checkscalehor", 0, 0.1},
        {P, "center", "checkscalever", 60, 50},
        {P, "", "colorradius", 7, 6},
        {P, "", "colorradius", -1, 0},
        {P, "output", "widpixel", 0, 1},
        {P, "output", "heipixel", 40000, 32768},
        {P, "rmstains", "threhold", 300, 254},
        {P, "rmstains", "threhold", -5, 0},
        {P, "rmstains", "areamax", -1, 0},
        {P, "rmstains", "areamax", 1e30, 1e30},
        {P, "cutbybkcolor", "contentratio", 0, 0.1},
        {P, "cutbybkcolor", "margin", -2.5, 0},
        // stored as typed
        {P, "rmblackborder", "threhold", 300, 300},
        {P, "autocontrast", "high", -7, -7},
        // refused by the dialog; a loaded value is clamped
        {P, "rmbkcolor", "colordelta", 0, 1},
        {P, "rmbkcolor", "colordelta", 101, 100},
        {P, "rmbkcolor", "colorsatuation", 1.5, 1},
        // lists and sliders
        {P, "correct", "angle", 1000, 30},
        {P, "correct", "angle", 10, 10},
        {P, "correct", "method", -1, 0},
        {P, "dpi", "dst", 5000, 600},
        {P, "", "strokewidth", 1000000, 12},
        {P, "rmredseal", "erase", 2147483647, 60},
        // bounds of ours where processing must stop
        {P, "bindhole", "radius", 10000, 10},
        {P, "bindhole", "areamax", 2147483647, 1000},
        {P, "bindhole", "areamin", -3, 0},
        {P, "rmblackborder", "ratio", 1000000, 100},
        // bit sets keep their bits
        {P, "", "compareimage", 8, 0},
        {P, "", "compareimage", 13, 5},
        {P, "", "compareimage", -1, 7},
        {P, "center", "type", 6, 2},
        // no number at all
        {P, "center", "checkscalehor", nan, 0.1},
        // detection dialog
        {D, "", "minAngle", 0, 0.05},
        {D, "", "maxAngle", 45, 30},
        {D, "", "marginPercent", 50, 30},
        {D, "", "edgePixels", 0, 1},
        {D, "", "edgePixels", 5000, 1000},
    };
    for (const Case& c : cases) {
        const Setting* s = settings::Find(c.table, c.group, c.key);
        ASSERT_NE(s, nullptr) << c.group << "/" << c.key;
        SCOPED_TRACE(::testing::Message() << s->Name() << " typed " << c.typed);
        EXPECT_EQ(s->Clamp(c.typed), c.stored);
        EXPECT_EQ(s->WithinLimits(c.typed), c.typed == c.stored);
        // Stored out of range, read clamped; the store keeps what it was given.
        s->Set(c.typed);
        const double held = s->Get();
        const double read = std::visit([](auto* f) { return static_cast<double>(settings::Clamped(*f)); }, s->field);
        const double want = s->type == ValueType::kFloat ? static_cast<double>(static_cast<float>(c.stored))
                                                         : std::trunc(c.stored);
        EXPECT_EQ(read, want);
        if (!std::isnan(c.typed)) {
            EXPECT_EQ(held, s->type == ValueType::kFloat ? static_cast<double>(static_cast<float>(c.typed))
                                                         : std::trunc(c.typed));
        }
        // Clamping the whole table stores the clamped value.
        settings::ClampAll(c.table);
        EXPECT_EQ(s->Get(), want);
        s->Set(s->start);
    }
}

TEST_F(SettingsTable, ClampAllLeavesValuesWithinTheirLimitsAlone) {
    // In-range values, none of them the start value.
    PS::rmblackboard.ratioarea = 19;
    PS::center.checkscalehor = 0.5f;
    PS::rmblackborder.threhold = 400;  // no limit
    PS::compareimage = 6;
    PS::modifycolor.bkcolor = 0x00FFFFFFu;
    settings::ClampAll(settings::ProcessSettingTable());
    EXPECT_EQ(PS::rmblackboard.ratioarea.load(), 19);
    EXPECT_EQ(PS::center.checkscalehor.load(), 0.5f);
    EXPECT_EQ(PS::rmblackborder.threhold.load(), 400);
    EXPECT_EQ(PS::compareimage.load(), 6);
    EXPECT_EQ(PS::modifycolor.bkcolor.load(), 0x00FFFFFFu);
}

TEST_F(SettingsTable, SetStoresAValueInTheWidthOfItsField) {
    struct Case {
        const void* field;
        double value, stored;
    };
    const double big = 1e12;
    const Case cases[] = {
        // flags store 1 for anything but 0
        {&PS::correct.on, 5, 1},
        {&PS::correct.on, -1, 1},
        {&PS::correct.on, 0, 0},
        // ints truncate towards zero and saturate
        {&PS::rmbkcolor.bright, 2.9, 2},
        {&PS::rmbkcolor.bright, -2.9, -2},
        {&PS::rmbkcolor.bright, big, 2147483647},
        {&PS::rmbkcolor.bright, -big, -2147483648.0},
        {&ScanSetting::dpi, 70000, 65535},
        {&ScanSetting::dpi, -1, 0},
        // colours are unsigned 32-bit
        {&PS::modifycolor.bkcolor, 255, 255},
        {&PS::modifycolor.bkcolor, -1, 0},
        {&PS::modifycolor.bkcolor, big, 4294967295.0},
        // floats narrow to the nearest float, and saturate
        {&PS::autocontrast.high, 0.15, static_cast<double>(0.15f)},
        {&PS::autocontrast.high, 1e300, static_cast<double>(std::numeric_limits<float>::max())},
        {&PS::autocontrast.high, -1e300, static_cast<double>(std::numeric_limits<float>::lowest())},
    };
    for (const Case& c : cases) {
        const Setting* s = settings::FindField(c.field);
        ASSERT_NE(s, nullptr);
        s->Set(c.value);
        EXPECT_EQ(s->Get(), c.stored) << s->Name() << " set to " << c.value;
    }
}
