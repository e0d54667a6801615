// pipeline_outputs: runs whole files through the processor under a list of
// configurations (the default pipeline, every step switched on alone, the
// other run types) and writes every output file, plus one line per input
// with what the run reported, into <out>/<configuration>/. Two such folders
// made by two builds are compared byte for byte by scripts/pipeline-outputs:
// a change meant to leave behaviour alone must leave every file as it was.
//
// Inputs: the image files of the conformance sets (jpeg, png, tiff) and
// generated pages written into <out>/inputs (skewed text, red seals, black
// borders, binding holes, stains, a blank page, a photo page, a page on a
// coloured field, vertical text, a 1-bit page, a three-page TIFF).
//
//   pipeline_outputs <out> [configuration ...]   all or the named ones
//   pipeline_outputs <out> --prepare             only write the generated pages
//   pipeline_outputs --list                      the configuration names
// Runs in parallel processes share <out>/inputs: prepare it first.
// With TESSAVAN_WITHOUT_AVX512=1 in the environment the AVX-512 loops are
// set aside, so that the AVX2 loops are checked on a machine that has both.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Strings.h"
#include "processing/VectorLoops.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/processor/ProcessOneFile.h"
#include "settings/SettingsTable.h"
#include "support/Conformance.h"
#include "support/ImageFiles.h"
#include "support/SyntheticPages.h"

namespace fs = std::filesystem;

namespace {

// ---- configurations ----

struct Config {
    std::string name;
    RunType runType = RUN_DESKEW_METHOD_0;
    int quickSteps = 3;  // deskew and background removal, as the main window starts
    // "p:group/key=value" (processing), "s:key=value" (scan step switch),
    // "d:key=value" (detection).
    std::vector<std::string> values;
};

std::vector<Config> Configs() {
    std::vector<Config> c = {
        {"default", RUN_DESKEW_METHOD_0, 3, {}},
        {"quick-none", RUN_DESKEW_METHOD_0, 0, {}},
        {"quick-deskew", RUN_DESKEW_METHOD_0, 1, {}},
        {"quick-background", RUN_DESKEW_METHOD_0, 2, {}},
        {"grey-output", RUN_DESKEW_METHOD_0, 3, {"p:filesave/retaincolor=0"}},
        {"method-1", RUN_DESKEW_METHOD_1, 3, {"p:correct/method=1"}},
        {"method-2", RUN_DESKEW_METHOD_2, 3, {"p:correct/method=2"}},
        {"angle-30-no-others", RUN_DESKEW_METHOD_0, 3, {"p:correct/angle=30", "p:tryothers=0"}},
        {"vertical-text", RUN_DESKEW_METHOD_0, 3, {"p:correct/textdirecthor=0", "p:twocolumns=1"}},
        {"keep-size", RUN_DESKEW_METHOD_0, 3, {"p:correct/keepsize=1", "p:correct/fillcolor=0"}},
        {"keep-size-grey", RUN_DESKEW_METHOD_0, 3, {"p:correct/keepsize=1", "p:filesave/retaincolor=0"}},
        {"background-photos", RUN_DESKEW_METHOD_0, 3,
         {"p:rmbkcolor/illstration=1", "p:rmbkcolor/illstrationcontrast=20", "p:rmbkcolor/rmcolortype=2"}},
        {"background-grey-only", RUN_DESKEW_METHOD_0, 3, {"p:rmbkcolor/allpic=0"}},
        {"autocontrast", RUN_DESKEW_METHOD_0, 3, {"p:autocontrast/on=1"}},
        {"autocontrast-grey", RUN_DESKEW_METHOD_0, 3, {"p:autocontrast/on=1", "p:filesave/retaincolor=0"}},
        {"blackboard", RUN_DESKEW_METHOD_0, 3, {"p:rmblackboard/on=1"}},
        {"blackboard-grey", RUN_DESKEW_METHOD_0, 3, {"p:rmblackboard/on=1", "p:filesave/retaincolor=0"}},
        {"borders", RUN_DESKEW_METHOD_0, 3, {"p:rmblackborder/on=1"}},
        {"borders-bands", RUN_DESKEW_METHOD_0, 3, {"p:rmblackborder/on=1", "p:rmblackborder/region=1",
                                                   "p:rmblackborder/type=1"}},
        {"holes", RUN_DESKEW_METHOD_0, 3, {"p:bindhole/on=1"}},
        {"stains", RUN_DESKEW_METHOD_0, 3, {"p:rmstains/on=1"}},
        {"compare-images", RUN_DESKEW_METHOD_0, 3,
         {"p:rmblackborder/on=1", "p:rmstains/on=1", "p:bindhole/on=1", "p:compareimage=7"}},
        {"centre", RUN_DESKEW_METHOD_0, 3, {"p:center/on=1", "p:center/type=3"}},
        {"centre-text", RUN_DESKEW_METHOD_0, 3, {"p:center/on=1", "p:center/type=3", "p:center/allobj=0"}},
        {"centre-text-grey", RUN_DESKEW_METHOD_0, 3,
         {"p:center/on=1", "p:center/type=3", "p:center/allobj=0", "p:filesave/retaincolor=0"}},
        {"cut-white", RUN_DESKEW_METHOD_0, 3, {"p:cutwhite/on=1"}},
        {"cut-white-mm-fixed", RUN_DESKEW_METHOD_0, 3,
         {"p:cutwhite/on=1", "p:cutwhite/margin=1", "p:cutwhite/threholdtype=1"}},
        {"cut-by-colour", RUN_DESKEW_METHOD_0, 3,
         {"p:cutbybkcolor/on=1", "p:cutbybkcolor/blue=1", "p:cutbybkcolor/black=1", "p:cutbybkcolor/margin=2"}},
        {"remove-seal", RUN_DESKEW_METHOD_0, 3, {"p:rmredseal/on=1"}},
        {"remove-red", RUN_DESKEW_METHOD_0, 3, {"p:rmredseal/on=1", "p:rmredseal/type=1"}},
        {"strengthen-seal", RUN_DESKEW_METHOD_0, 3, {"p:strenredseal/on=1"}},
        {"blank-page", RUN_DESKEW_METHOD_0, 3, {"p:rmblankpage/on=1"}},
        {"blank-page-threshold", RUN_DESKEW_METHOD_0, 3, {"p:rmblankpage/on=1", "p:rmblankpage/type=1"}},
        {"change-colour", RUN_DESKEW_METHOD_0, 3, {"p:modifycolor/on=1"}},
        {"change-colour-all", RUN_DESKEW_METHOD_0, 3, {"p:modifycolor/on=1", "p:modifycolor/ignorepic=0"}},
        {"text-direction", RUN_DESKEW_METHOD_0, 3, {"p:rotatetextdirect/on=1"}},
        {"output-size", RUN_DESKEW_METHOD_0, 3,
         {"p:output/on=1", "p:output/widpixel=700", "p:output/heipixel=900"}},
        {"output-size-black", RUN_DESKEW_METHOD_0, 3,
         {"p:output/on=1", "p:output/widpixel=300", "p:output/heipixel=200", "p:output/fillcolor=0",
          "p:output/maintainhw=0"}},
        {"dpi", RUN_DESKEW_METHOD_0, 3, {"p:dpi/on=1", "p:dpi/dst=200"}},
        {"tiff-jpeg", RUN_DESKEW_METHOD_0, 3, {"p:filesave/tiffcompress=1", "p:filesave/jpgquality=60"}},
        {"tiff-lzw", RUN_DESKEW_METHOD_0, 3, {"p:filesave/tiffcompress=2"}},
        {"detect-margins", RUN_DETECTION, 3, {"d:kind=1", "d:correct=1", "d:marginPercent=3"}},
        {"detect-edges", RUN_DETECTION, 3, {"d:kind=2", "d:correct=1", "d:blue=1", "d:black=1"}},
        {"scan-none", RUN_SCAN_AND_PROCESS, 3, {}},
        {"scan-deskew", RUN_SCAN_AND_PROCESS, 3, {"s:correct=1"}},
    };
    // Every step together, as the settings and as the scan switches.
    const std::vector<std::string> all = {
        "autocontrast/on=1", "rmblackboard/on=1", "rmblackborder/on=1", "bindhole/on=1", "rmstains/on=1",
        "center/on=1",       "center/type=3",     "cutwhite/on=1",      "cutbybkcolor/on=1",
        "cutbybkcolor/blue=1", "rmredseal/on=1",  "rmblankpage/on=1",   "modifycolor/on=1",
        "rotatetextdirect/on=1", "output/on=1",   "output/widpixel=800", "output/heipixel=1000"};
    Config every{"every-step", RUN_DESKEW_METHOD_0, 3, {}};
    for (const auto& v : all) every.values.push_back("p:" + v);
    c.push_back(every);
    Config scanAll = every;
    scanAll.name = "scan-every-step";
    scanAll.runType = RUN_SCAN_AND_PROCESS;
    for (const char* s : {"rmbkcolor", "rmblackboard", "rmblackborder", "bindhole", "rmstains", "correct", "center",
                          "cutbybkcolor", "cutwhite", "autocontrast", "rmredseal", "rmblankpage", "modifycolor",
                          "rotatetextdirect", "output"})
        scanAll.values.push_back(std::string("s:") + s + "=1");
    c.push_back(scanAll);
    return c;
}

bool Apply(const std::string& value) {
    const std::size_t colon = value.find(':');
    const std::size_t eq = value.find('=');
    if (colon == std::string::npos || eq == std::string::npos) return false;
    const std::string table = value.substr(0, colon);
    std::string key = value.substr(colon + 1, eq - colon - 1);
    std::string group;
    if (const std::size_t slash = key.find('/'); slash != std::string::npos) {
        group = key.substr(0, slash);
        key = key.substr(slash + 1);
    }
    std::span<const settings::Setting> rows = table == "p"   ? settings::ProcessSettingTable()
                                              : table == "s" ? settings::ScanStepTable()
                                                             : settings::DetectSettingTable();
    const settings::Setting* row = settings::Find(rows, group, key);
    if (!row) return false;
    row->Set(std::stod(value.substr(eq + 1)));
    return true;
}

// ---- generated pages ----

// The page in reading order for the file writers: RGB, grey, or bits (1 = dark).
testimg::Picture ToPicture(const synth::Page& page, int channels, bool bits = false) {
    testimg::Picture out(page.width, page.height, channels);
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x) {
            const int row = page.height - 1 - y;
            if (bits) {
                out.at(x, y) = page.GreyAt(x, row) < 128 ? 1 : 0;
            } else if (channels == 1) {
                out.at(x, y) = page.GreyAt(x, row);
            } else {
                const synth::Colour c = page.At(x, row);
                out.at(x, y, 0) = c.r;
                out.at(x, y, 1) = c.g;
                out.at(x, y, 2) = c.b;
            }
        }
    return out;
}

constexpr int kW = 1000, kH = 1400, kDpi = 120;

synth::Page Text(std::uint64_t seed, synth::Colour paper = synth::kWhite, int noise = 4) {
    return synth::TextPage(kW, kH, 24, kDpi, seed, paper, noise);
}

testimg::TiffPage Tiff(const synth::Page& page, int channels, bool bits, int photometric, int compression) {
    testimg::TiffPage t(ToPicture(page, channels, bits), bits ? 1 : 8, photometric, compression);
    t.dpi = static_cast<float>(page.dpi);
    return t;
}

// Writes the generated inputs; false when a file cannot be written.
bool WriteGenerated(const fs::path& folder, std::vector<fs::path>& inputs) {
    fs::create_directories(folder);
    bool ok = true;
    auto png = [&](const std::string& name, const synth::Page& page) {
        const fs::path path = folder / name;
        ok = ok && testimg::WritePng(path.string(), ToPicture(page, 3), 2, 8, {}, page.dpi);
        inputs.push_back(path);
    };
    auto jpeg = [&](const std::string& name, const synth::Page& page, int channels) {
        const fs::path path = folder / name;
        ok = ok && testimg::WriteJpeg(path.string(), ToPicture(page, channels), 92, page.dpi);
        inputs.push_back(path);
    };

    png("skewed-colour.png", synth::Turned(Text(1, synth::kYellowedPaper), 2.3, synth::kYellowedPaper));
    jpeg("skewed-grey.jpg", synth::Turned(Text(2), -1.2), 1);

    synth::Page seal = Text(3);
    synth::DrawStamp(seal, 700, 300, 120, 8, synth::kSealRed);
    synth::DrawStamp(seal, 250, 1100, 60, 5, synth::Rgb(200, 40, 60));
    png("red-seal.png", seal);

    synth::Page borders = synth::Turned(Text(4), 0.8);
    borders.FillRect({0, 0, 60, kH}, synth::kBlack);
    borders.FillRect({kW - 45, 0, kW, kH}, synth::Rgb(20, 20, 20));
    borders.FillRect({0, kH - 50, kW, kH}, synth::kBlack);
    png("black-borders.png", borders);

    synth::Page holes = Text(5);
    for (int y : {250, 700, 1150}) holes.FillDisc(40, y, 22, synth::Rgb(30, 30, 30));
    jpeg("binding-holes.jpg", holes, 3);

    synth::Page stains = Text(6, synth::kWhite, 2);
    synth::DrawBlot(stains, 300, 500, 9, synth::Rgb(40, 40, 40), 11);
    synth::DrawBlot(stains, 800, 900, 14, synth::Rgb(60, 50, 40), 12);
    for (int i = 0; i < 40; ++i) stains.FillDisc(100 + 21 * i, 80 + (i * 37) % 1200, 2, synth::kBlack);
    png("stains.png", stains);

    synth::Page blank = synth::Blank(kW, kH, 24, synth::kWhite, kDpi);
    synth::AddNoise(blank, 6, 7);
    blank.FillDisc(500, 700, 3, synth::Rgb(90, 90, 90));
    png("blank.png", blank);

    synth::Page photo = Text(8, synth::kYellowedPaper, 3);
    synth::DrawPhoto(photo, {150, 600, 750, 1000}, 9);
    png("photo.png", photo);

    synth::Page field = synth::Blank(kW, kH, 24, synth::Rgb(30, 60, 170), kDpi);
    synth::Page inner = synth::TextPage(kW - 200, kH - 240, 24, kDpi, 10);
    for (int y = 0; y < inner.height; ++y)
        for (int x = 0; x < inner.width; ++x) field.Set(x + 90, y + 130, inner.At(x, y));
    png("on-blue-field.png", field);

    synth::Page vertical = synth::Blank(kW, kH, 24, synth::kWhite, kDpi);
    synth::TextOptions columns;
    columns.area = {120, 150, kW - 120, kH - 150};
    columns.vertical = true;
    columns.charHeight = 16;
    columns.seed = 13;
    synth::DrawText(vertical, columns);
    png("vertical-text.png", synth::Turned(vertical, 1.5));

    // A page turned a quarter (text running up the page).
    synth::Page quarter = synth::TextPage(kH, kW, 24, kDpi, 14);
    synth::Page turned(kW, kH, 24, kDpi);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) turned.Set(x, y, quarter.At(y, kW - 1 - x));
    png("quarter-turned.png", turned);

    const fs::path bilevel = folder / "bilevel.tif";
    ok = ok && testimg::WriteTiff(bilevel.string(), {Tiff(synth::Turned(Text(15), -2.0), 1, true, 0, 4)});
    inputs.push_back(bilevel);

    const fs::path pages = folder / "three-pages.tif";
    ok = ok && testimg::WriteTiff(pages.string(), {Tiff(seal, 3, false, 2, 5), Tiff(blank, 3, false, 2, 5),
                                                   Tiff(synth::Turned(Text(16), 1.0), 1, false, 1, 5)});
    inputs.push_back(pages);
    return ok;
}

std::vector<fs::path> ConformanceInputs() {
    std::vector<fs::path> files;
    const fs::path root = testdata::ConformanceDir();
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file()) continue;
        std::string ext = it->path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char ch) { return std::tolower(ch); });
        if (ext == ".jpg" || ext == ".jpeg" || ext == ".png" || ext == ".tif" || ext == ".tiff")
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// A unique output name for an input: its folder below the root and its name.
std::string OutputName(const fs::path& input, const fs::path& root) {
    std::string name = input.lexically_relative(root).generic_string();
    std::replace(name.begin(), name.end(), '/', '_');
    return name;
}

bool RunConfig(const Config& config, const std::vector<std::pair<fs::path, std::string>>& inputs,
               const fs::path& out) {
    settings::ResetToStart(settings::ProcessSettingTable());
    settings::ResetToStart(settings::ScanStepTable());
    settings::ResetToStart(settings::DetectSettingTable());
    for (const auto& v : config.values)
        if (!Apply(v)) {
            std::cerr << config.name << ": unknown setting " << v << "\n";
            return false;
        }
    const fs::path folder = out / config.name;
    fs::create_directories(folder);
    std::ofstream log(folder / "outcomes.txt");
    for (const auto& [input, name] : inputs) {
        CImageProcessor p;
        const OneFileOutcome o = ProcessOneFile(p, FromUtf8(input.string()), FromUtf8(folder.string()),
                                                FromUtf8(name), config.runType, config.quickSteps);
        char angle[32];
        std::snprintf(angle, sizeof angle, "%.9g", static_cast<double>(p.skewSearcher.skewAngle));
        log << name << " read=" << o.read << " processed=" << o.processed << " blank=" << o.blank
            << " saved=" << o.saved << " angle=" << angle << " result=" << p.resultWidth << "x" << p.resultHeight
            << "x" << p.resultDepth << " pages=" << p.pageCount << " flagged=" << int(p.needsProcessing) << "\n";
    }
    return static_cast<bool>(log);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<Config> configs = Configs();
    if (argc == 2 && std::string_view(argv[1]) == "--list") {
        for (const auto& c : configs) std::cout << c.name << "\n";
        return 0;
    }
    if (argc < 2) {
        std::cerr << "usage: pipeline_outputs <out-folder> [configuration ...] | --list\n";
        return 2;
    }
    const fs::path out = argv[1];
    std::vector<std::string> wanted(argv + 2, argv + argc);
    const char* withoutAvx512 = std::getenv("TESSAVAN_WITHOUT_AVX512");
    if (withoutAvx512 != nullptr && std::string_view(withoutAvx512) == "1") vectorloops::SetAsideAvx512(true);

    const fs::path ready = out / "inputs" / "complete";
    const bool prepare = wanted.size() == 1 && wanted[0] == "--prepare";
    std::vector<fs::path> generated;
    if (prepare || !fs::exists(ready)) {
        if (!WriteGenerated(out / "inputs", generated)) {
            std::cerr << "cannot write the generated pages into " << (out / "inputs") << "\n";
            return 1;
        }
        std::ofstream(ready) << generated.size() << " pages\n";
        if (prepare) return 0;
    } else {
        for (const auto& e : fs::directory_iterator(out / "inputs"))
            if (e.path() != ready) generated.push_back(e.path());
        std::sort(generated.begin(), generated.end());
    }
    std::vector<std::pair<fs::path, std::string>> inputs;
    for (const auto& g : generated) inputs.emplace_back(g, "gen_" + g.filename().string());
    const std::vector<fs::path> conformance = ConformanceInputs();
    if (conformance.empty()) {
        std::cerr << "no conformance files under " << testdata::ConformanceDir() << " (run scripts/setup)\n";
        return 1;
    }
    for (const auto& c : conformance) inputs.emplace_back(c, OutputName(c, testdata::ConformanceDir()));

    int failures = 0, runs = 0;
    for (const auto& config : configs) {
        if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), config.name) == wanted.end()) continue;
        ++runs;
        if (!RunConfig(config, inputs, out)) ++failures;
    }
    if (runs == 0) {
        std::cerr << "no configuration of that name (see --list)\n";
        return 2;
    }
    return failures == 0 ? 0 : 1;
}
