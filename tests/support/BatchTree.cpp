#include "support/BatchTree.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "support/ImageFiles.h"

namespace testdata {

namespace {

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

}  // namespace

bool WriteBatchTree(const std::string& root) {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const char* d : {"", "/sub", "/sub/deep", "/sub/sub", "/sub/x_tmpformultiframe"}) {
        fs::create_directories(root + d, ec);
        if (ec) return false;
    }
    using testimg::Pattern;
    using testimg::TiffPage;
    bool ok = testimg::WriteJpeg(root + "/a.jpg", Pattern(64, 48, 3, 1), 90, 150);
    ok = ok && testimg::WritePng(root + "/B.PNG", Pattern(40, 30, 1, 2), 0, 8, {}, 150);
    ok = ok && WriteText(root + "/bad.jpg", "this is not a JPEG file");
    ok = ok && WriteText(root + "/notes.txt", "notes");
    std::vector<TiffPage> pages{TiffPage(Pattern(32, 24, 1, 3), 8, 1, 1), TiffPage(Pattern(36, 20, 3, 4), 8, 2, 1),
                                TiffPage(Pattern(30, 30, 1, 5), 8, 1, 1)};
    for (auto& p : pages) p.dpi = 150;
    ok = ok && testimg::WriteTiff(root + "/sub/c.tif", pages);
    TiffPage lzw(Pattern(50, 40, 3, 6), 8, 2, 5);
    lzw.dpi = 150;
    ok = ok && testimg::WriteTiff(root + "/sub/deep/d.Tif", {lzw});
    ok = ok && testimg::WriteJpeg(root + "/sub/sub/f.jpg", Pattern(20, 20, 3, 7), 90, 150);
    // sub/sub is the result folder of an earlier run: it carries the marker
    // the batch engine puts into the result folders it makes.
    ok = ok && WriteText(root + "/sub/sub/.tessavan-results", root + "/sub");
    ok = ok && testimg::WriteJpeg(root + "/sub/x_tmpformultiframe/e.jpg", Pattern(20, 20, 3, 8), 90, 150);
    return ok;
}

std::vector<std::string> BatchTreeQueueSourceLayout() {
    return {"a.jpg", "B.PNG", "bad.jpg", "sub/c.tif", "sub/deep/d.Tif"};
}

std::vector<std::string> BatchTreeQueueNewFolder() {
    return {"a.jpg", "B.PNG", "bad.jpg", "sub/c.tif", "sub/deep/d.Tif", "sub/sub/f.jpg"};
}

std::vector<std::string> BatchTreeOutputProblems(const std::vector<std::string>& taken,
                                                 const std::function<std::string(const std::string&)>& outputOf,
                                                 int dpi) {
    namespace fs = std::filesystem;
    std::vector<std::string> problems;
    auto problem = [&](const std::string& rel, const std::string& what) { problems.push_back(rel + ": " + what); };
    const double pixelsPerMetre = dpi / 0.0254;
    auto dpiNear = [&](double v) { return v > dpi - 1 && v < dpi + 1; };
    for (const std::string& rel : {std::string("a.jpg"), std::string("B.PNG"), std::string("bad.jpg"),
                                   std::string("sub/c.tif"), std::string("sub/deep/d.Tif"),
                                   std::string("sub/sub/f.jpg"), std::string("sub/x_tmpformultiframe/e.jpg")}) {
        const bool isTaken = std::find(taken.begin(), taken.end(), rel) != taken.end();
        const std::string out = outputOf(rel);
        const bool exists = fs::exists(out);
        if (!isTaken || rel == kBatchTreeBadFile) {
            if (exists) problem(rel, "has an output at " + out);
            continue;
        }
        if (!exists) {
            problem(rel, "no output at " + out);
            continue;
        }
        if (rel == "a.jpg" || rel == "sub/sub/f.jpg") {
            const auto j = testimg::ReadJpeg(out);
            const int side = rel == "a.jpg" ? 64 : 20;
            if (!j.ok) problem(rel, "output is not a JPEG");
            else if (j.width != side || j.components != 3) problem(rel, "JPEG of the wrong size or colour");
            else if (j.densityUnit != 1 || j.xDensity != dpi) problem(rel, "JPEG density " + std::to_string(j.xDensity));
        } else if (rel == "B.PNG") {
            const auto p = testimg::ReadPng(out);
            if (!p.ok) problem(rel, "output is not a PNG");
            else if (p.width != 40 || p.height != 30) problem(rel, "PNG of the wrong size");
            else if (!p.hasPhys || p.physUnit != 1 || std::abs(p.physX - pixelsPerMetre) > 1)
                problem(rel, "PNG without the resolution");
        } else {
            const auto pages = testimg::ReadTiff(out);
            const std::size_t expectedPages = rel == "sub/c.tif" ? 3 : 1;
            if (pages.size() != expectedPages) {
                problem(rel, "TIFF with " + std::to_string(pages.size()) + " pages");
                continue;
            }
            if (rel == "sub/c.tif") {
                const int widths[] = {32, 36, 30};
                for (std::size_t i = 0; i < 3; ++i)
                    if (pages[i].width != widths[i]) problem(rel, "page " + std::to_string(i) + " of the wrong size");
            } else if (pages[0].width != 50 || pages[0].compression != 5) {
                problem(rel, "TIFF of the wrong size or compression");
            }
            for (const auto& pg : pages)
                if (!dpiNear(pg.xResolution) || pg.resolutionUnit != 2) problem(rel, "TIFF page without the resolution");
        }
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(fs::path(out).parent_path(), ec))
            if (e.path().filename().string().find("_tmpformultiframe") != std::string::npos)
                problem(rel, "page folder left: " + e.path().string());
    }
    return problems;
}

}  // namespace testdata
