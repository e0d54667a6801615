// A virtual TWAIN scanner for tests: a data source library ("*.ds") that
// produces synthetic pages (VdsPage.h) and speaks the protocol the scan road
// uses: identity, open and close, the capabilities it negotiates with their
// read-back, enable and disable, MSG_XFERREADY through the manager, image
// information, file, memory and native transfers, pending transfers, status
// and extended image information.
//
// Each copy of the library reads "<name>.ini" beside itself (key=value
// lines) whenever it is asked for its identity or opened:
//   product, manufacturer, family, version_info   identity texts
//   groups, protocol (e.g. 2.4)                   identity numbers
//   pages            pages per enable (default 3); duplex doubles them
//   width, height    page size in hundredths of an inch (default 50 x 40)
//   strict           1: every triplet out of its TWAIN state is refused
//                    with TWCC_SEQERROR (default 0: lenient, transfers are
//                    accepted before MSG_XFERREADY was sent)
//   notify           thread (default): MSG_XFERREADY comes from the
//                    source's own thread; sync: from inside MSG_ENABLEDS;
//                    none: never
//   notify_delay_ms  delay of the thread's notification (default 0)
//   page_delay_ms    time each page takes to feed, before its transfer
//                    starts (default 0: as fast as it can)
//   jam_page         the transfer of that page (1-based) fails with
//                    TWCC_PAPERJAM
//   cancel_page      the transfer of that page is cancelled (memory
//                    transfers after their first strip)
//   refuse_open      MSG_OPENDS fails; the value is the condition code
//   refuse_identity  1: MSG_GET of the identity fails
//   refuse_caps      capability ids (hex, comma separated) answered with
//                    TWCC_CAPUNSUPPORTED
//   throw_on         a DAT (hex) whose call throws an exception
//   mem_rows         rows of the preferred memory-transfer buffer (16)
//   short_containers capability containers are this many bytes shorter than
//                    what their fields claim (default 0)
//   endless          every image transfer call (file, native, memory)
//                    answers this return code and never ends the image; a
//                    memory transfer answering TWRC_SUCCESS (0) keeps sending
//                    strips of rows (default -1: off)
//   endless_limit    after this many endless answers in one enable the
//                    calls fail with TWCC_BUMMER, so that an application
//                    that never stops asking still ends (default 2000)
//   undefined_length 1: the image information gives the length as -1 (a
//                    memory transfer still delivers the page's rows)
//   mem_compression  the compression (TWCP_) the image information and the
//                    memory-transfer strips claim (the rows stay raw);
//                    unset, they claim the negotiated ICAP_COMPRESSION, as a
//                    source that compresses its memory strips does
//   xfermech         the only transfer mechanism (TWSX_) the source offers:
//                    in force when it is opened, setting another is refused
//                    with TWCC_BADVALUE (default: all three, TWSX_NATIVE in
//                    force)
//   legacy           1: a TWAIN 1.x source: no DF_DS2 (protocol 1.9 unless
//                    set lower), no entry point; it takes the memory
//                    functions the program exports and keeps its
//                    notifications until the application asks for them
//                    with DAT_EVENT / MSG_PROCESSEVENT
//   barcode, book    texts reported through extended image information
//   log              a file each call is appended to, one line per call
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <dlfcn.h>

#include "VdsFiles.h"
#include "VdsPage.h"
#include "twain/Twain.h"

extern "C" __attribute__((visibility("default"))) TW_UINT16 DS_Entry(pTW_IDENTITY pOrigin, TW_UINT32 DG,
                                                                     TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData);

namespace {

// -- configuration -----------------------------------------------------------

struct Config {
    std::string stem = "vds";
    std::string product;
    std::string manufacturer = "Tessavan";
    std::string family = "Virtual Scanner";
    std::string versionInfo = "1.0";
    TW_UINT32 groups = DG_CONTROL | DG_IMAGE | DF_DS2;
    int protocolMajor = 2;
    int protocolMinor = 4;
    int pages = 3;
    int widthHundredths = 50;
    int heightHundredths = 40;
    bool strict = false;
    std::string notify = "thread";
    int notifyDelayMs = 0;
    int pageDelayMs = 0;
    int jamPage = 0;
    int cancelPage = 0;
    int refuseOpen = 0;
    bool refuseIdentity = false;
    std::vector<TW_UINT16> refusedCaps;
    int throwOn = -1;
    int memRows = 16;
    int shortContainers = 0;
    int endless = -1;
    int endlessLimit = 2000;
    bool undefinedLength = false;
    int memCompression = -1;
    int xferMech = -1;
    bool legacy = false;
    std::string barcode;
    std::string book = "Virtual Book";
    std::string log;
};

std::string LibraryPath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&DS_Entry), &info) && info.dli_fname) return info.dli_fname;
    return {};
}

long ParseNumber(const std::string& text) { return std::strtol(text.c_str(), nullptr, 0); }

Config ReadConfig() {
    Config config;
    const std::string path = LibraryPath();
    const std::size_t slash = path.rfind('/');
    std::string stem = path.substr(slash == std::string::npos ? 0 : slash + 1);
    if (stem.size() > 3 && stem.compare(stem.size() - 3, 3, ".ds") == 0) stem.resize(stem.size() - 3);
    config.stem = stem;
    config.product = "Virtual " + stem;
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::ifstream in(folder + stem + ".ini");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "product") config.product = value;
        else if (key == "manufacturer") config.manufacturer = value;
        else if (key == "family") config.family = value;
        else if (key == "version_info") config.versionInfo = value;
        else if (key == "groups") config.groups = static_cast<TW_UINT32>(std::strtoul(value.c_str(), nullptr, 0));
        else if (key == "protocol") {
            config.protocolMajor = static_cast<int>(ParseNumber(value));
            const std::size_t dot = value.find('.');
            config.protocolMinor = dot == std::string::npos ? 0 : static_cast<int>(ParseNumber(value.substr(dot + 1)));
        } else if (key == "pages") config.pages = static_cast<int>(ParseNumber(value));
        else if (key == "width") config.widthHundredths = static_cast<int>(ParseNumber(value));
        else if (key == "height") config.heightHundredths = static_cast<int>(ParseNumber(value));
        else if (key == "strict") config.strict = ParseNumber(value) != 0;
        else if (key == "notify") config.notify = value;
        else if (key == "notify_delay_ms") config.notifyDelayMs = static_cast<int>(ParseNumber(value));
        else if (key == "page_delay_ms") config.pageDelayMs = static_cast<int>(ParseNumber(value));
        else if (key == "jam_page") config.jamPage = static_cast<int>(ParseNumber(value));
        else if (key == "cancel_page") config.cancelPage = static_cast<int>(ParseNumber(value));
        else if (key == "refuse_open") config.refuseOpen = static_cast<int>(ParseNumber(value));
        else if (key == "refuse_identity") config.refuseIdentity = ParseNumber(value) != 0;
        else if (key == "refuse_caps") {
            std::stringstream list(value);
            std::string item;
            while (std::getline(list, item, ','))
                if (!item.empty()) config.refusedCaps.push_back(static_cast<TW_UINT16>(std::strtoul(item.c_str(), nullptr, 16)));
        } else if (key == "throw_on") config.throwOn = static_cast<int>(std::strtol(value.c_str(), nullptr, 16));
        else if (key == "mem_rows") config.memRows = static_cast<int>(ParseNumber(value));
        else if (key == "short_containers") config.shortContainers = static_cast<int>(ParseNumber(value));
        else if (key == "endless") config.endless = static_cast<int>(ParseNumber(value));
        else if (key == "endless_limit") config.endlessLimit = static_cast<int>(ParseNumber(value));
        else if (key == "undefined_length") config.undefinedLength = ParseNumber(value) != 0;
        else if (key == "mem_compression") config.memCompression = static_cast<int>(ParseNumber(value));
        else if (key == "xfermech") config.xferMech = static_cast<int>(ParseNumber(value));
        else if (key == "legacy") config.legacy = ParseNumber(value) != 0;
        else if (key == "barcode") config.barcode = value;
        else if (key == "book") config.book = value;
        else if (key == "log") config.log = value;
    }
    if (config.pages < 0) config.pages = 0;
    if (config.memRows < 1) config.memRows = 1;
    if (config.shortContainers < 0) config.shortContainers = 0;
    if (config.legacy) {
        config.groups &= ~DF_DS2;
        if (config.protocolMajor >= 2) {
            config.protocolMajor = 1;
            config.protocolMinor = 9;
        }
    }
    return config;
}

void CopyText(char* to, std::size_t size, const std::string& from) {
    std::memset(to, 0, size);
    std::memcpy(to, from.data(), std::min(from.size(), size - 1));
}

// -- capabilities ------------------------------------------------------------

TW_FIX32 Fix(int whole) { return TW_FIX32{static_cast<TW_INT16>(whole), 0}; }

const int kResolutions[] = {75, 100, 150, 200, 300, 600};
const TW_UINT16 kMechanisms[] = {TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY};
const TW_UINT16 kFormats[] = {TWFF_TIFF, TWFF_BMP, TWFF_JFIF, TWFF_TIFFMULTI};
const TW_UINT16 kCompressions[] = {TWCP_NONE, TWCP_PACKBITS, TWCP_GROUP4, TWCP_JPEG, TWCP_LZW, TWCP_ZIP};
const TW_UINT16 kUnits[] = {TWUN_INCHES, TWUN_CENTIMETERS, TWUN_PIXELS};
const TW_UINT16 kPixelTypes[] = {TWPT_BW, TWPT_GRAY, TWPT_RGB};
const TW_UINT16 kExtInfo[] = {TWEI_BARCODECOUNT, TWEI_DOCUMENTNUMBER, TWEI_PAGENUMBER, TWEI_PAGESIDE,
                              TWEI_FRAME, TWEI_PIXELFLAVOR, TWEI_BOOKNAME};
const TW_UINT16 kSupportedCaps[] = {CAP_SUPPORTEDCAPS, CAP_XFERCOUNT, CAP_AUTOSCAN, CAP_DUPLEXENABLED,
                                    ICAP_JPEGQUALITY, ICAP_XFERMECH, ICAP_IMAGEFILEFORMAT, ICAP_COMPRESSION,
                                    ICAP_UNITS, ICAP_PIXELTYPE, ICAP_BITDEPTH, ICAP_XRESOLUTION,
                                    ICAP_YRESOLUTION, ICAP_FRAMES, ICAP_SUPPORTEDEXTIMAGEINFO};

int DefaultDepth(TW_UINT16 pixelType) { return pixelType == TWPT_BW ? 1 : pixelType == TWPT_GRAY ? 8 : 24; }

struct Caps {
    TW_INT16 xferCount = -1;
    TW_BOOL autoScan = 0;
    TW_BOOL duplexEnabled = 0;
    TW_INT16 jpegQuality = 75;
    TW_UINT16 xferMech = TWSX_NATIVE;
    TW_UINT16 fileFormat = TWFF_TIFF;
    TW_UINT16 compression = TWCP_NONE;
    TW_UINT16 units = TWUN_INCHES;
    TW_UINT16 pixelType = TWPT_RGB;
    TW_UINT16 bitDepth = 24;
    int xres = 150;
    int yres = 150;
};

// -- the session ---------------------------------------------------------------

enum State { kClosed = 3, kOpen = 4, kEnabled = 5, kReady = 6, kTransferring = 7 };

struct Session {
    std::mutex lock;
    Config config;
    bool configRead = false;
    int state = kClosed;
    TW_UINT16 conditionCode = TWCC_SUCCESS;
    TW_ENTRYPOINT entry{};
    bool haveEntry = false;
    TW_IDENTITY app{};
    TW_IDENTITY self{};
    Caps caps;
    bool showUI = false;
    int pending = 0;         // images still to transfer in this enable
    int transferred = 0;     // pages transferred (or abandoned) in this enable
    int pageNumber = 0;      // 1-based number of the current page over the session
    bool pageDone = false;   // the current page was transferred (state 7)
    int memRowsSent = 0;     // rows of the current page sent by memory transfer
    int memStrips = 0;
    int endlessAnswers = 0;  // endless answers given in this enable
    std::string fileName;
    TW_UINT16 fileFormat = TWFF_TIFF;
    std::string lastMultiFile;  // the multi-page file pages are appended to
    // A TWAIN 1.x source's notification, kept for DAT_EVENT from `parkedAt`.
    TW_UINT16 parked = MSG_NULL;
    std::chrono::steady_clock::time_point parkedAt;

    // The notification thread.
    std::thread notifier;
    std::condition_variable wake;
    bool stopNotifier = false;

    ~Session() { StopNotifier(); }

    // Joins the notification thread; the caller does not hold the lock.
    void StopNotifier() {
        {
            std::lock_guard guard(lock);
            stopNotifier = true;
        }
        wake.notify_all();
        if (notifier.joinable() && notifier.get_id() != std::this_thread::get_id()) notifier.join();
        std::lock_guard guard(lock);
        stopNotifier = false;
    }
};

Session& session() {
    static Session s;
    return s;
}

void Log(const Config& config, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Log(const Config& config, const char* format, ...) {
    if (config.log.empty()) return;
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (std::FILE* f = std::fopen(config.log.c_str(), "a")) {
        std::fprintf(f, "%s %s\n", config.product.c_str(), line);
        std::fclose(f);
    }
}

int PageWidth(const Session& s) { return vds::PageSide(s.config.widthHundredths, s.caps.xres); }
int PageHeight(const Session& s) { return vds::PageSide(s.config.heightHundredths, s.caps.yres); }
int Depth(const Session& s) { return s.caps.bitDepth; }
int RowBytes(const Session& s) { return (Depth(s) * PageWidth(s) + 7) / 8; }
// Memory-transfer rows are padded to four bytes.
int PaddedRowBytes(const Session& s) { return (RowBytes(s) + 3) & ~3; }

// The current page, rows from the top.
vds::Raster RenderPage(const Session& s) {
    vds::Raster r;
    r.width = PageWidth(s);
    r.height = PageHeight(s);
    r.bitsPerPixel = Depth(s);
    r.dpiX = s.caps.xres;
    r.dpiY = s.caps.yres;
    r.rowBytes = RowBytes(s);
    r.pixels.assign(static_cast<std::size_t>(r.rowBytes) * r.height, 0);
    const int page = s.pageNumber;
    for (int y = 0; y < r.height; ++y) {
        std::uint8_t* row = r.pixels.data() + static_cast<std::size_t>(y) * r.rowBytes;
        for (int x = 0; x < r.width; ++x) {
            if (r.bitsPerPixel == 1) {
                if (vds::PageBit(page, x, y)) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            } else if (r.bitsPerPixel == 8) {
                row[x] = vds::PageGrey(page, x, y, r.width, r.height);
            } else {
                row[3 * x] = vds::PageRed(page, x, y, r.width, r.height);
                row[3 * x + 1] = vds::PageGreen(page, x, y, r.width, r.height);
                row[3 * x + 2] = vds::PageBlue(page, x, y, r.width, r.height);
            }
        }
    }
    return r;
}

// The page as a packed DIB: 40-byte header, palette, rows bottom-up padded to
// four bytes, colour as B, G, R.
std::vector<std::uint8_t> MakeDib(const vds::Raster& r) {
    const int colours = r.bitsPerPixel == 1 ? 2 : r.bitsPerPixel == 8 ? 256 : 0;
    const int stride = ((r.bitsPerPixel * r.width + 31) / 32) * 4;
    std::vector<std::uint8_t> dib(40 + 4 * colours + static_cast<std::size_t>(stride) * r.height, 0);
    auto put32 = [&dib](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) dib[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    auto put16 = [&dib](std::size_t at, std::uint16_t v) {
        dib[at] = static_cast<std::uint8_t>(v);
        dib[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    put32(0, 40);
    put32(4, static_cast<std::uint32_t>(r.width));
    put32(8, static_cast<std::uint32_t>(r.height));
    put16(12, 1);
    put16(14, static_cast<std::uint16_t>(r.bitsPerPixel));
    put32(16, 0);
    put32(20, static_cast<std::uint32_t>(stride * r.height));
    put32(24, static_cast<std::uint32_t>(r.dpiX * 10000 / 254));
    put32(28, static_cast<std::uint32_t>(r.dpiY * 10000 / 254));
    put32(32, static_cast<std::uint32_t>(colours));
    put32(36, 0);
    for (int i = 0; i < colours; ++i) {
        const auto level = static_cast<std::uint8_t>(colours == 2 ? i * 255 : i);
        dib[40 + 4 * i] = dib[41 + 4 * i] = dib[42 + 4 * i] = level;
    }
    std::uint8_t* bits = dib.data() + 40 + 4 * colours;
    for (int y = 0; y < r.height; ++y) {
        const std::uint8_t* src = r.pixels.data() + static_cast<std::size_t>(y) * r.rowBytes;
        std::uint8_t* dst = bits + static_cast<std::size_t>(r.height - 1 - y) * stride;
        if (r.bitsPerPixel == 24) {
            for (int x = 0; x < r.width; ++x) {
                dst[3 * x] = src[3 * x + 2];
                dst[3 * x + 1] = src[3 * x + 1];
                dst[3 * x + 2] = src[3 * x];
            }
        } else {
            std::memcpy(dst, src, static_cast<std::size_t>(r.rowBytes));
        }
    }
    return dib;
}

// -- helpers for replies -------------------------------------------------------

TW_UINT16 Fail(Session& s, TW_UINT16 code) {
    s.conditionCode = code;
    return TWRC_FAILURE;
}

bool StateIn(const Session& s, int low, int high) { return s.state >= low && s.state <= high; }

// A TWAIN 1.x source finds the memory functions (and the manager's entry)
// the program exports, by name.
bool FindProgramFunctions(TW_ENTRYPOINT& entry) {
    entry = TW_ENTRYPOINT{};
    entry.Size = sizeof entry;
    entry.DSM_Entry = reinterpret_cast<DSMENTRYPROC>(dlsym(RTLD_DEFAULT, "DSM_Entry"));
    entry.DSM_MemAllocate = reinterpret_cast<DSM_MEMALLOCATE>(dlsym(RTLD_DEFAULT, "DSM_MemAllocate"));
    entry.DSM_MemFree = reinterpret_cast<DSM_MEMFREE>(dlsym(RTLD_DEFAULT, "DSM_MemFree"));
    entry.DSM_MemLock = reinterpret_cast<DSM_MEMLOCK>(dlsym(RTLD_DEFAULT, "DSM_MemLock"));
    entry.DSM_MemUnlock = reinterpret_cast<DSM_MEMUNLOCK>(dlsym(RTLD_DEFAULT, "DSM_MemUnlock"));
    return entry.DSM_Entry && entry.DSM_MemAllocate && entry.DSM_MemFree && entry.DSM_MemLock &&
           entry.DSM_MemUnlock;
}

TW_HANDLE Allocate(Session& s, std::size_t size) {
    if (!s.haveEntry || !s.entry.DSM_MemAllocate) return nullptr;
    return s.entry.DSM_MemAllocate(static_cast<TW_UINT32>(size));
}

// A container handle: `body` bytes locked and filled by `fill`; with `cut`,
// a block that many bytes shorter (at least one byte) holding what fits.
template <class Fill>
TW_HANDLE MakeContainer(Session& s, std::size_t body, Fill fill, std::size_t cut = 0) {
    const std::size_t size = cut == 0 ? body : body > cut ? body - cut : 1;
    TW_HANDLE h = Allocate(s, size);
    if (!h) return nullptr;
    auto* p = static_cast<std::uint8_t*>(s.entry.DSM_MemLock(h));
    if (!p) {
        s.entry.DSM_MemFree(h);
        return nullptr;
    }
    if (size == body) {
        fill(p);
    } else {
        std::vector<std::uint8_t> whole(body, 0);
        fill(whole.data());
        std::memcpy(p, whole.data(), std::min(size, body));
    }
    s.entry.DSM_MemUnlock(h);
    return h;
}

// A capability container (short when the configuration says so).
template <class Fill>
TW_HANDLE CapContainer(Session& s, std::size_t body, Fill fill) {
    return MakeContainer(s, body, fill, static_cast<std::size_t>(s.config.shortContainers));
}

void PutItem(std::uint8_t* at, TW_UINT16 type, TW_UINT32 value) {
    switch (type) {
    case TWTY_INT8:
    case TWTY_UINT8: *at = static_cast<std::uint8_t>(value); break;
    case TWTY_INT16:
    case TWTY_UINT16:
    case TWTY_BOOL: {
        const auto v = static_cast<std::uint16_t>(value);
        std::memcpy(at, &v, 2);
        break;
    }
    default: std::memcpy(at, &value, 4); break;
    }
}

TW_HANDLE OneValue(Session& s, TW_UINT16 type, TW_UINT32 value) {
    return CapContainer(s, sizeof(TW_ONEVALUE), [&](std::uint8_t* p) {
        auto* one = reinterpret_cast<TW_ONEVALUE*>(p);
        one->ItemType = type;
        one->Item = 0;
        PutItem(p + offsetof(TW_ONEVALUE, Item), type, value);
    });
}

TW_HANDLE Enumeration(Session& s, TW_UINT16 type, const std::vector<TW_UINT32>& items, TW_UINT32 current,
                      TW_UINT32 deflt) {
    const std::size_t size = twainItemSize(type);
    return CapContainer(s, offsetof(TW_ENUMERATION, ItemList) + size * items.size(), [&](std::uint8_t* p) {
        auto* e = reinterpret_cast<TW_ENUMERATION*>(p);
        e->ItemType = type;
        e->NumItems = static_cast<TW_UINT32>(items.size());
        e->CurrentIndex = current;
        e->DefaultIndex = deflt;
        for (std::size_t i = 0; i < items.size(); ++i)
            PutItem(p + offsetof(TW_ENUMERATION, ItemList) + i * size, type, items[i]);
    });
}

TW_HANDLE Array(Session& s, TW_UINT16 type, const std::vector<TW_UINT32>& items) {
    const std::size_t size = twainItemSize(type);
    return CapContainer(s, offsetof(TW_ARRAY, ItemList) + size * items.size(), [&](std::uint8_t* p) {
        auto* a = reinterpret_cast<TW_ARRAY*>(p);
        a->ItemType = type;
        a->NumItems = static_cast<TW_UINT32>(items.size());
        for (std::size_t i = 0; i < items.size(); ++i)
            PutItem(p + offsetof(TW_ARRAY, ItemList) + i * size, type, items[i]);
    });
}

TW_HANDLE Range(Session& s, TW_UINT16 type, TW_UINT32 min, TW_UINT32 max, TW_UINT32 step, TW_UINT32 deflt,
                TW_UINT32 current) {
    return CapContainer(s, sizeof(TW_RANGE), [&](std::uint8_t* p) {
        auto* r = reinterpret_cast<TW_RANGE*>(p);
        r->ItemType = type;
        r->MinValue = min;
        r->MaxValue = max;
        r->StepSize = step;
        r->DefaultValue = deflt;
        r->CurrentValue = current;
    });
}

template <class T, std::size_t N>
std::vector<TW_UINT32> Values(const T (&list)[N]) {
    return std::vector<TW_UINT32>(std::begin(list), std::end(list));
}

template <class T, std::size_t N>
TW_UINT32 IndexOf(const T (&list)[N], TW_UINT32 value) {
    for (std::size_t i = 0; i < N; ++i)
        if (static_cast<TW_UINT32>(list[i]) == value) return static_cast<TW_UINT32>(i);
    return 0;
}

template <class T, std::size_t N>
bool Contains(const T (&list)[N], TW_UINT32 value) {
    for (const T& v : list)
        if (static_cast<TW_UINT32>(v) == value) return true;
    return false;
}

TW_FRAME PageFrame(const Session& s) {
    // The page in the current units.
    auto convert = [&s](int hundredths, int dpi) {
        double value = hundredths / 100.0;
        if (s.caps.units == TWUN_CENTIMETERS) value *= 2.54;
        if (s.caps.units == TWUN_PIXELS) value *= dpi;
        TW_FIX32 f;
        const auto scaled = static_cast<std::int32_t>(value * 65536.0 + 0.5);
        f.Whole = static_cast<TW_INT16>(scaled >> 16);
        f.Frac = static_cast<TW_UINT16>(scaled & 0xFFFF);
        return f;
    };
    return TW_FRAME{Fix(0), Fix(0), convert(s.config.widthHundredths, s.caps.xres),
                    convert(s.config.heightHundredths, s.caps.yres)};
}

// -- capability negotiation ------------------------------------------------------

bool KnownCap(TW_UINT16 cap) { return Contains(kSupportedCaps, cap); }

// The container MSG_GET answers with.
TW_HANDLE GetContainer(Session& s, TW_UINT16 cap, TW_UINT16& conType, bool currentOnly, bool defaultOnly) {
    const Caps defaults;
    const Caps& c = defaultOnly ? defaults : s.caps;
    const bool one = currentOnly || defaultOnly;
    auto enumeration = [&](TW_UINT16 type, const std::vector<TW_UINT32>& items, TW_UINT32 current,
                           TW_UINT32 deflt) -> TW_HANDLE {
        if (one) {
            conType = TWON_ONEVALUE;
            return OneValue(s, type, items[defaultOnly ? deflt : current]);
        }
        conType = TWON_ENUMERATION;
        return Enumeration(s, type, items, current, deflt);
    };
    auto onevalue = [&](TW_UINT16 type, TW_UINT32 value) {
        conType = TWON_ONEVALUE;
        return OneValue(s, type, value);
    };
    switch (cap) {
    case CAP_XFERCOUNT: return onevalue(TWTY_INT16, static_cast<TW_UINT16>(c.xferCount));
    case CAP_AUTOSCAN: return onevalue(TWTY_BOOL, c.autoScan);
    case CAP_DUPLEXENABLED: return onevalue(TWTY_BOOL, c.duplexEnabled);
    case ICAP_JPEGQUALITY:
        if (one) return onevalue(TWTY_INT16, static_cast<TW_UINT16>(c.jpegQuality));
        conType = TWON_RANGE;
        return Range(s, TWTY_INT16, 0, 100, 1, static_cast<TW_UINT32>(defaults.jpegQuality),
                     static_cast<TW_UINT32>(c.jpegQuality));
    case ICAP_XFERMECH:
        return enumeration(TWTY_UINT16, Values(kMechanisms), IndexOf(kMechanisms, c.xferMech),
                           IndexOf(kMechanisms, defaults.xferMech));
    case ICAP_IMAGEFILEFORMAT:
        return enumeration(TWTY_UINT16, Values(kFormats), IndexOf(kFormats, c.fileFormat),
                           IndexOf(kFormats, defaults.fileFormat));
    case ICAP_COMPRESSION:
        return enumeration(TWTY_UINT16, Values(kCompressions), IndexOf(kCompressions, c.compression),
                           IndexOf(kCompressions, defaults.compression));
    case ICAP_UNITS:
        return enumeration(TWTY_UINT16, Values(kUnits), IndexOf(kUnits, c.units), IndexOf(kUnits, defaults.units));
    case ICAP_PIXELTYPE:
        return enumeration(TWTY_UINT16, Values(kPixelTypes), IndexOf(kPixelTypes, c.pixelType),
                           IndexOf(kPixelTypes, defaults.pixelType));
    case ICAP_BITDEPTH:
        // One depth per pixel type.
        return enumeration(TWTY_UINT16, {static_cast<TW_UINT32>(DefaultDepth(c.pixelType))}, 0, 0);
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION: {
        std::vector<TW_UINT32> items;
        for (int r : kResolutions) items.push_back(TwainFix32Bits(Fix(r)));
        const int value = cap == ICAP_XRESOLUTION ? c.xres : c.yres;
        return enumeration(TWTY_FIX32, items, IndexOf(kResolutions, static_cast<TW_UINT32>(value)),
                           IndexOf(kResolutions, 150u));
    }
    case ICAP_FRAMES: {
        conType = TWON_ONEVALUE;
        const TW_FRAME frame = PageFrame(s);
        return CapContainer(s, 2 + sizeof(TW_FRAME), [&](std::uint8_t* p) {
            const TW_UINT16 type = TWTY_FRAME;
            std::memcpy(p, &type, 2);
            std::memcpy(p + 2, &frame, sizeof frame);
        });
    }
    case ICAP_SUPPORTEDEXTIMAGEINFO: conType = TWON_ARRAY; return Array(s, TWTY_UINT16, Values(kExtInfo));
    case CAP_SUPPORTEDCAPS: conType = TWON_ARRAY; return Array(s, TWTY_UINT16, Values(kSupportedCaps));
    default: return nullptr;
    }
}

bool IntegralType(TW_UINT16 type) { return type <= TWTY_BOOL; }

// Reads a one-value container sent with MSG_SET.
bool ReadOneValue(Session& s, TW_HANDLE h, TW_UINT16& type, TW_UINT32& value, std::string& text) {
    if (!s.haveEntry) return false;
    auto* p = static_cast<const std::uint8_t*>(s.entry.DSM_MemLock(h));
    if (!p) return false;
    const auto* one = reinterpret_cast<const TW_ONEVALUE*>(p);
    type = one->ItemType;
    value = 0;
    switch (type) {
    case TWTY_INT8: value = static_cast<TW_UINT32>(static_cast<std::int8_t>(p[2])); break;
    case TWTY_UINT8: value = p[2]; break;
    case TWTY_INT16: {
        std::int16_t v;
        std::memcpy(&v, p + 2, 2);
        value = static_cast<TW_UINT32>(static_cast<std::int32_t>(v));
        break;
    }
    case TWTY_UINT16:
    case TWTY_BOOL: {
        std::uint16_t v;
        std::memcpy(&v, p + 2, 2);
        value = v;
        break;
    }
    default: value = one->Item; break;
    }
    text = std::to_string(static_cast<std::int32_t>(value));
    if (type == TWTY_FIX32) {
        const TW_FIX32 f = TwainFix32FromBits(value);
        text = std::to_string(f.Whole) + "/" + std::to_string(f.Frac);
    }
    s.entry.DSM_MemUnlock(h);
    return true;
}

TW_UINT16 SetCap(Session& s, TW_CAPABILITY& capability, std::string& logged) {
    if (capability.ConType != TWON_ONEVALUE) return Fail(s, TWCC_BADVALUE);
    TW_UINT16 type = 0;
    TW_UINT32 value = 0;
    std::string text;
    if (!ReadOneValue(s, capability.hContainer, type, value, text)) return Fail(s, TWCC_BADVALUE);
    logged = " value=" + text;
    const auto signedValue = static_cast<std::int32_t>(value);

    auto wantType = [&](TW_UINT16 expected) {
        if (s.config.strict) return type == expected;
        return expected == TWTY_FIX32 ? type == TWTY_FIX32 : IntegralType(type);
    };
    switch (capability.Cap) {
    case CAP_XFERCOUNT:
        if (!wantType(TWTY_INT16) || (signedValue != -1 && signedValue < 1)) return Fail(s, TWCC_BADVALUE);
        s.caps.xferCount = static_cast<TW_INT16>(signedValue);
        return TWRC_SUCCESS;
    case CAP_AUTOSCAN:
    case CAP_DUPLEXENABLED:
        if (!wantType(TWTY_BOOL) || value > 1) return Fail(s, TWCC_BADVALUE);
        (capability.Cap == CAP_AUTOSCAN ? s.caps.autoScan : s.caps.duplexEnabled) = static_cast<TW_BOOL>(value);
        return TWRC_SUCCESS;
    case ICAP_JPEGQUALITY:
        if (!wantType(TWTY_INT16) || signedValue < 0 || signedValue > 100) return Fail(s, TWCC_BADVALUE);
        s.caps.jpegQuality = static_cast<TW_INT16>(signedValue);
        return TWRC_SUCCESS;
    case ICAP_XFERMECH:
        if (!wantType(TWTY_UINT16) || !Contains(kMechanisms, value)) return Fail(s, TWCC_BADVALUE);
        if (s.config.xferMech >= 0 && value != static_cast<TW_UINT32>(s.config.xferMech)) return Fail(s, TWCC_BADVALUE);
        s.caps.xferMech = static_cast<TW_UINT16>(value);
        return TWRC_SUCCESS;
    case ICAP_IMAGEFILEFORMAT:
        if (!wantType(TWTY_UINT16) || !Contains(kFormats, value)) return Fail(s, TWCC_BADVALUE);
        s.caps.fileFormat = static_cast<TW_UINT16>(value);
        return TWRC_SUCCESS;
    case ICAP_COMPRESSION:
        if (!wantType(TWTY_UINT16) || !Contains(kCompressions, value)) return Fail(s, TWCC_BADVALUE);
        s.caps.compression = static_cast<TW_UINT16>(value);
        return TWRC_SUCCESS;
    case ICAP_UNITS:
        if (!wantType(TWTY_UINT16) || !Contains(kUnits, value)) return Fail(s, TWCC_BADVALUE);
        s.caps.units = static_cast<TW_UINT16>(value);
        return TWRC_SUCCESS;
    case ICAP_PIXELTYPE:
        if (!wantType(TWTY_UINT16) || !Contains(kPixelTypes, value)) return Fail(s, TWCC_BADVALUE);
        s.caps.pixelType = static_cast<TW_UINT16>(value);
        // The depth follows the pixel type.
        s.caps.bitDepth = static_cast<TW_UINT16>(DefaultDepth(s.caps.pixelType));
        return TWRC_SUCCESS;
    case ICAP_BITDEPTH:
        // Only the depth of the current pixel type is possible.
        if (!wantType(TWTY_UINT16) || static_cast<int>(value) != DefaultDepth(s.caps.pixelType))
            return Fail(s, TWCC_BADVALUE);
        s.caps.bitDepth = static_cast<TW_UINT16>(value);
        return TWRC_SUCCESS;
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION: {
        if (!wantType(TWTY_FIX32)) return Fail(s, TWCC_BADVALUE);
        const TW_FIX32 f = TwainFix32FromBits(value);
        if (f.Frac != 0 || !Contains(kResolutions, static_cast<TW_UINT32>(f.Whole))) return Fail(s, TWCC_BADVALUE);
        (capability.Cap == ICAP_XRESOLUTION ? s.caps.xres : s.caps.yres) = f.Whole;
        return TWRC_SUCCESS;
    }
    default: return Fail(s, TWCC_CAPBADOPERATION);  // read-only
    }
}

void ResetCap(Session& s, TW_UINT16 cap) {
    const Caps d;
    switch (cap) {
    case CAP_XFERCOUNT: s.caps.xferCount = d.xferCount; break;
    case CAP_AUTOSCAN: s.caps.autoScan = d.autoScan; break;
    case CAP_DUPLEXENABLED: s.caps.duplexEnabled = d.duplexEnabled; break;
    case ICAP_JPEGQUALITY: s.caps.jpegQuality = d.jpegQuality; break;
    case ICAP_XFERMECH: s.caps.xferMech = d.xferMech; break;
    case ICAP_IMAGEFILEFORMAT: s.caps.fileFormat = d.fileFormat; break;
    case ICAP_COMPRESSION: s.caps.compression = d.compression; break;
    case ICAP_UNITS: s.caps.units = d.units; break;
    case ICAP_PIXELTYPE:
        s.caps.pixelType = d.pixelType;
        s.caps.bitDepth = d.bitDepth;
        break;
    case ICAP_BITDEPTH: s.caps.bitDepth = static_cast<TW_UINT16>(DefaultDepth(s.caps.pixelType)); break;
    case ICAP_XRESOLUTION: s.caps.xres = d.xres; break;
    case ICAP_YRESOLUTION: s.caps.yres = d.yres; break;
    default: break;
    }
}

TW_UINT16 Capability(Session& s, TW_UINT16 MSG, TW_CAPABILITY* capability, std::string& logged) {
    if (!capability) return Fail(s, TWCC_BADVALUE);
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%04x", capability->Cap);
    logged = std::string(" cap=") + hex;
    for (TW_UINT16 refused : s.config.refusedCaps)
        if (refused == capability->Cap) return Fail(s, TWCC_CAPUNSUPPORTED);
    if (!KnownCap(capability->Cap)) return Fail(s, TWCC_CAPUNSUPPORTED);
    if (!s.haveEntry) return Fail(s, TWCC_LOWMEMORY);
    switch (MSG) {
    case MSG_GET:
    case MSG_GETCURRENT:
    case MSG_GETDEFAULT: {
        if (s.state < kOpen) return Fail(s, TWCC_SEQERROR);
        TW_UINT16 conType = TWON_DONTCARE16;
        TW_HANDLE h = GetContainer(s, capability->Cap, conType, MSG == MSG_GETCURRENT, MSG == MSG_GETDEFAULT);
        if (!h) return Fail(s, TWCC_LOWMEMORY);
        capability->ConType = conType;
        capability->hContainer = h;
        return TWRC_SUCCESS;
    }
    case MSG_SET: {
        if (s.config.strict ? s.state != kOpen : s.state < kOpen) return Fail(s, TWCC_SEQERROR);
        std::string value;
        const TW_UINT16 rc = SetCap(s, *capability, value);
        logged += value;
        return rc;
    }
    case MSG_RESET: {
        if (s.config.strict ? s.state != kOpen : s.state < kOpen) return Fail(s, TWCC_SEQERROR);
        ResetCap(s, capability->Cap);
        TW_UINT16 conType = TWON_DONTCARE16;
        TW_HANDLE h = GetContainer(s, capability->Cap, conType, true, false);
        if (!h) return Fail(s, TWCC_LOWMEMORY);
        capability->ConType = conType;
        capability->hContainer = h;
        return TWRC_SUCCESS;
    }
    default: return Fail(s, TWCC_CAPBADOPERATION);
    }
}

// -- notifications -------------------------------------------------------------

// Sends `message` to the application through the manager. Called without the
// session lock.
TW_UINT16 Notify(Session& s, TW_UINT16 message) {
    TW_ENTRYPOINT entry;
    TW_IDENTITY self;
    TW_IDENTITY app;
    Config config;
    {
        std::lock_guard guard(s.lock);
        if (!s.haveEntry || !s.entry.DSM_Entry) return TWRC_FAILURE;
        entry = s.entry;
        self = s.self;
        app = s.app;
        config = s.config;
    }
    const TW_UINT16 rc = entry.DSM_Entry(&self, &app, DG_CONTROL, DAT_NULL, message, nullptr);
    Log(config, "notify msg=0x%04x rc=%u", message, rc);
    return rc;
}

// Starts the thread that tells the application, after the configured delay,
// that `message` holds: MSG_XFERREADY moves the source to state 6 first
// (unless the application already began transferring).
void NotifyLater(Session& s, TW_UINT16 message) {
    if (s.config.legacy) {
        // A TWAIN 1.x source keeps it for the application's DAT_EVENT.
        s.parked = message;
        s.parkedAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(s.config.notifyDelayMs);
        return;
    }
    if (s.notifier.joinable()) {
        // One notification at a time: the previous one has been sent or given
        // up by now, or is given up here.
        s.stopNotifier = true;
        s.wake.notify_all();
        s.lock.unlock();
        s.notifier.join();
        s.lock.lock();
        s.stopNotifier = false;
    }
    const int delay = s.config.notifyDelayMs;
    s.notifier = std::thread([&s, message, delay] {
        {
            std::unique_lock guard(s.lock);
            s.wake.wait_for(guard, std::chrono::milliseconds(delay), [&s] { return s.stopNotifier; });
            if (s.stopNotifier) return;
            if (message == MSG_XFERREADY) {
                if (s.state != kEnabled || s.pending == 0) return;
                s.state = kReady;
            }
        }
        Notify(s, message);
    });
}

// -- transfers -------------------------------------------------------------------

bool TransferAllowed(Session& s) {
    if (s.config.strict) return s.state == kReady;
    if (s.state == kEnabled && s.pending > 0) s.state = kReady;
    return s.state == kReady;
}

// The time the page takes to feed.
void FeedPage(const Session& s) {
    if (s.config.pageDelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(s.config.pageDelayMs));
}

// The current page's number (1-based over this enable) and fault checks.
// Returns TWRC_SUCCESS to go on, or the reply to give.
TW_UINT16 PageFaults(Session& s, int page) {
    FeedPage(s);
    if (s.config.jamPage == page) return Fail(s, TWCC_PAPERJAM);
    if (s.config.cancelPage == page) {
        s.state = kTransferring;
        s.pageDone = true;
        return TWRC_CANCEL;
    }
    return TWRC_SUCCESS;
}

// The compression the image information and the memory strips claim.
TW_UINT16 MemoryCompression(const Session& s) {
    if (s.config.memCompression >= 0) return static_cast<TW_UINT16>(s.config.memCompression);
    return s.caps.xferMech == TWSX_MEMORY ? s.caps.compression : static_cast<TW_UINT16>(TWCP_NONE);
}

TW_UINT16 ImageInfo(Session& s, TW_IMAGEINFO* info) {
    if (!info) return Fail(s, TWCC_BADVALUE);
    if (s.config.strict ? !StateIn(s, kReady, kTransferring) : !(StateIn(s, kReady, kTransferring) || TransferAllowed(s)))
        return Fail(s, TWCC_SEQERROR);
    std::memset(info, 0, sizeof *info);
    info->XResolution = Fix(s.caps.xres);
    info->YResolution = Fix(s.caps.yres);
    info->ImageWidth = PageWidth(s);
    info->ImageLength = s.config.undefinedLength ? -1 : PageHeight(s);
    info->SamplesPerPixel = static_cast<TW_INT16>(s.caps.pixelType == TWPT_RGB ? 3 : 1);
    for (int i = 0; i < info->SamplesPerPixel; ++i)
        info->BitsPerSample[i] = static_cast<TW_INT16>(s.caps.bitDepth == 24 ? 8 : s.caps.bitDepth);
    info->BitsPerPixel = static_cast<TW_INT16>(s.caps.bitDepth);
    info->Planar = 0;
    info->PixelType = static_cast<TW_INT16>(s.caps.pixelType);
    info->Compression = MemoryCompression(s);
    return TWRC_SUCCESS;
}

// A source that never ends an image: every transfer call answers the
// configured code, and the source stays ready for the next call (`state`:
// ready for file and native transfers, transferring in a memory transfer).
bool Endless(const Session& s) { return s.config.endless >= 0; }
TW_UINT16 EndlessAnswer(Session& s, int state = kReady) {
    if (++s.endlessAnswers > s.config.endlessLimit) return Fail(s, TWCC_BUMMER);
    s.state = state;
    s.pageDone = false;
    return static_cast<TW_UINT16>(s.config.endless);
}

TW_UINT16 FileTransfer(Session& s, std::string& logged) {
    if (!TransferAllowed(s) || (s.config.strict && s.caps.xferMech != TWSX_FILE)) return Fail(s, TWCC_SEQERROR);
    if (Endless(s)) return EndlessAnswer(s);
    const int page = s.transferred + 1;
    if (const TW_UINT16 rc = PageFaults(s, page); rc != TWRC_SUCCESS) return rc;
    const vds::Raster raster = RenderPage(s);
    std::string error;
    bool ok = false;
    switch (s.fileFormat) {
    case TWFF_JFIF: ok = vds::WriteJpeg(s.fileName, raster, s.caps.jpegQuality, error); break;
    case TWFF_BMP: ok = vds::WriteBmp(s.fileName, MakeDib(raster), error); break;
    case TWFF_TIFF:
    case TWFF_TIFFMULTI: {
        const bool append = s.fileFormat == TWFF_TIFFMULTI && s.fileName == s.lastMultiFile;
        ok = vds::WriteTiff(s.fileName, raster, s.caps.compression, s.caps.jpegQuality, append, error);
        if (ok && s.fileFormat == TWFF_TIFFMULTI) s.lastMultiFile = s.fileName;
        break;
    }
    default: error = "unsupported format"; break;
    }
    logged = " file=" + s.fileName;
    if (!ok) {
        logged += " error=" + error;
        return Fail(s, TWCC_FILEWRITEERROR);
    }
    s.state = kTransferring;
    s.pageDone = true;
    return TWRC_XFERDONE;
}

TW_UINT16 NativeTransfer(Session& s, TW_HANDLE* out) {
    if (!out) return Fail(s, TWCC_BADVALUE);
    if (!TransferAllowed(s) || (s.config.strict && s.caps.xferMech != TWSX_NATIVE)) return Fail(s, TWCC_SEQERROR);
    *out = nullptr;
    if (Endless(s)) return EndlessAnswer(s);
    const int page = s.transferred + 1;
    if (const TW_UINT16 rc = PageFaults(s, page); rc != TWRC_SUCCESS) return rc;
    const std::vector<std::uint8_t> dib = MakeDib(RenderPage(s));
    TW_HANDLE h = MakeContainer(s, dib.size(), [&](std::uint8_t* p) { std::memcpy(p, dib.data(), dib.size()); });
    if (!h) return Fail(s, TWCC_LOWMEMORY);
    *out = h;
    s.state = kTransferring;
    s.pageDone = true;
    return TWRC_XFERDONE;
}

TW_UINT16 MemoryTransfer(Session& s, TW_IMAGEMEMXFER* xfer) {
    if (!xfer) return Fail(s, TWCC_BADVALUE);
    const bool allowed = s.state == kTransferring ? !s.pageDone : TransferAllowed(s);
    if (!allowed || (s.config.strict && s.caps.xferMech != TWSX_MEMORY)) return Fail(s, TWCC_SEQERROR);
    const int page = s.transferred + 1;
    if (s.state == kReady) {
        FeedPage(s);
        if (s.config.jamPage == page) return Fail(s, TWCC_PAPERJAM);
        s.memRowsSent = 0;
        s.memStrips = 0;
    }
    if (s.config.cancelPage == page && s.memStrips >= 1) {
        s.state = kTransferring;
        s.pageDone = true;
        return TWRC_CANCEL;
    }

    const int stride = PaddedRowBytes(s);
    std::uint8_t* memory = nullptr;
    bool locked = false;
    if (xfer->Memory.Flags & TWMF_POINTER) {
        memory = static_cast<std::uint8_t*>(xfer->Memory.TheMem);
    } else if (s.haveEntry) {
        memory = static_cast<std::uint8_t*>(s.entry.DSM_MemLock(xfer->Memory.TheMem));
        locked = memory != nullptr;
    }
    if (!memory || xfer->Memory.Length < static_cast<TW_UINT32>(stride)) {
        if (locked) s.entry.DSM_MemUnlock(xfer->Memory.TheMem);
        return Fail(s, TWCC_BADVALUE);
    }
    const vds::Raster raster = RenderPage(s);
    // Strips of uneven heights (the preferred height, one row less, two rows
    // less, again), never more than the buffer holds.
    const int fit = static_cast<int>(xfer->Memory.Length / static_cast<TW_UINT32>(stride));
    const int strip = std::max(1, s.config.memRows - s.memStrips % 3);
    // An endless source answering success goes on past the page's last row
    // (its rows over again); other endless answers bring no rows.
    const bool endless = Endless(s);
    const int rows = raster.height == 0 ? 0
                     : endless       ? (s.config.endless == TWRC_SUCCESS ? std::min(fit, strip) : 0)
                                     : std::min({fit, strip, raster.height - s.memRowsSent});
    for (int r = 0; r < rows; ++r) {
        std::memset(memory + static_cast<std::size_t>(r) * stride, 0, static_cast<std::size_t>(stride));
        std::memcpy(memory + static_cast<std::size_t>(r) * stride,
                    raster.pixels.data() +
                        static_cast<std::size_t>((s.memRowsSent + r) % raster.height) * raster.rowBytes,
                    static_cast<std::size_t>(raster.rowBytes));
    }
    if (locked) s.entry.DSM_MemUnlock(xfer->Memory.TheMem);
    xfer->Compression = MemoryCompression(s);
    xfer->BytesPerRow = static_cast<TW_UINT32>(stride);
    xfer->Columns = static_cast<TW_UINT32>(raster.width);
    xfer->Rows = static_cast<TW_UINT32>(rows);
    xfer->XOffset = 0;
    xfer->YOffset = static_cast<TW_UINT32>(s.memRowsSent);
    xfer->BytesWritten = static_cast<TW_UINT32>(rows * stride);
    s.memRowsSent += rows;
    ++s.memStrips;
    s.state = kTransferring;
    if (endless) return EndlessAnswer(s, kTransferring);
    if (s.memRowsSent >= raster.height) {
        s.pageDone = true;
        return TWRC_XFERDONE;
    }
    return TWRC_SUCCESS;
}

TW_UINT16 EndTransfer(Session& s, TW_PENDINGXFERS* pending) {
    if (!pending) return Fail(s, TWCC_BADVALUE);
    if (s.config.strict ? !StateIn(s, kReady, kTransferring) : s.state < kEnabled) return Fail(s, TWCC_SEQERROR);
    if (s.pending > 0) {
        --s.pending;
        ++s.transferred;
        ++s.pageNumber;
    }
    s.pageDone = false;
    s.memRowsSent = 0;
    s.memStrips = 0;
    pending->Count = static_cast<TW_UINT16>(s.pending);
    pending->EOJ = 0;
    if (s.pending > 0) {
        s.state = kReady;
    } else {
        s.state = kEnabled;
        // With its own interface shown, the user "closes" it when the batch
        // is done.
        if (s.showUI) NotifyLater(s, MSG_CLOSEDSREQ);
    }
    return TWRC_SUCCESS;
}

TW_UINT16 ResetTransfers(Session& s, TW_PENDINGXFERS* pending) {
    if (!pending) return Fail(s, TWCC_BADVALUE);
    if (s.config.strict ? s.state != kReady : s.state < kEnabled) return Fail(s, TWCC_SEQERROR);
    s.pending = 0;
    s.pageDone = false;
    pending->Count = 0;
    pending->EOJ = 0;
    s.state = kEnabled;
    return TWRC_SUCCESS;
}

// Fills one requested extended-information entry for the current page.
void FillInfo(Session& s, TW_INFO& info, int& barcodeSeen) {
    auto inlineValue = [&info](TW_UINT16 type, TW_UINT32 value) {
        info.ItemType = type;
        info.NumItems = 1;
        info.ReturnCode = TWRC_SUCCESS;
        info.Item = 0;
        PutItem(reinterpret_cast<std::uint8_t*>(&info.Item), type, value);
    };
    auto handleValue = [&](TW_UINT16 type, const void* data, std::size_t size) {
        TW_HANDLE h = MakeContainer(s, size, [&](std::uint8_t* p) { std::memcpy(p, data, size); });
        if (!h) {
            info.ReturnCode = TWRC_DATANOTAVAILABLE;
            return;
        }
        info.ItemType = type;
        info.NumItems = 1;
        info.ReturnCode = TWRC_SUCCESS;
        info.Item = reinterpret_cast<TW_UINTPTR>(h);
    };
    const bool barcode = !s.config.barcode.empty();
    switch (info.InfoID) {
    case TWEI_BARCODECOUNT: inlineValue(TWTY_UINT32, barcode ? 1 : 0); return;
    case TWEI_DOCUMENTNUMBER: inlineValue(TWTY_UINT32, 1); return;
    case TWEI_PAGENUMBER: inlineValue(TWTY_UINT32, static_cast<TW_UINT32>(s.pageNumber + 1)); return;
    case TWEI_PAGESIDE: inlineValue(TWTY_UINT16, 1); return;
    case TWEI_PIXELFLAVOR: inlineValue(TWTY_UINT16, TWPF_CHOCOLATE); return;
    case TWEI_FRAME: {
        const TW_FRAME frame = PageFrame(s);
        handleValue(TWTY_FRAME, &frame, sizeof frame);
        return;
    }
    case TWEI_BOOKNAME: {
        char text[sizeof(TW_STR255)] = {};
        CopyText(text, sizeof text, s.config.book);
        handleValue(TWTY_STR255, text, sizeof text);
        return;
    }
    default: break;
    }
    if (barcode && barcodeSeen < 7) {
        switch (info.InfoID) {
        case TWEI_BARCODETYPE: inlineValue(TWTY_UINT32, 2); ++barcodeSeen; return;
        case TWEI_BARCODETEXTLENGTH:
            inlineValue(TWTY_UINT32, static_cast<TW_UINT32>(s.config.barcode.size()));
            ++barcodeSeen;
            return;
        case TWEI_BARCODETEXT:
            handleValue(TWTY_HANDLE, s.config.barcode.data(), s.config.barcode.size());
            ++barcodeSeen;
            return;
        case TWEI_BARCODEX: inlineValue(TWTY_UINT32, 10); ++barcodeSeen; return;
        case TWEI_BARCODEY: inlineValue(TWTY_UINT32, 20); ++barcodeSeen; return;
        case TWEI_BARCODEROTATION: inlineValue(TWTY_UINT32, TWBCOR_ROT0); ++barcodeSeen; return;
        case TWEI_BARCODECONFIDENCE: inlineValue(TWTY_UINT32, 100); ++barcodeSeen; return;
        default: break;
        }
    }
    info.ItemType = 0;
    info.NumItems = 0;
    info.Item = 0;
    info.ReturnCode = TWRC_INFONOTSUPPORTED;
}

TW_UINT16 ExtImageInfo(Session& s, TW_EXTIMAGEINFO* ext) {
    if (!ext) return Fail(s, TWCC_BADVALUE);
    if (s.config.strict ? s.state != kTransferring : !StateIn(s, kReady, kTransferring)) return Fail(s, TWCC_SEQERROR);
    if (ext->NumInfos > 1000) return Fail(s, TWCC_BADVALUE);
    int barcodeSeen = 0;
    for (TW_UINT32 i = 0; i < ext->NumInfos; ++i) FillInfo(s, ext->Info[i], barcodeSeen);
    return TWRC_SUCCESS;
}

// -- the entry ---------------------------------------------------------------------

TW_UINT16 Control(Session& s, pTW_IDENTITY origin, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData,
                  std::string& logged) {
    switch (DAT) {
    case DAT_IDENTITY:
        if (MSG == MSG_GET) {
            if (!pData) return Fail(s, TWCC_BADVALUE);
            if (s.state == kClosed) s.config = ReadConfig();
            logged = origin ? std::string(" origin=") + std::string(origin->ProductName, strnlen(origin->ProductName, 34))
                            : std::string(" origin=null");
            if (s.config.refuseIdentity) return Fail(s, TWCC_BUMMER);
            auto* id = static_cast<pTW_IDENTITY>(pData);
            const TW_UINT32 keep = id->Id;
            std::memset(id, 0, sizeof *id);
            id->Id = keep;
            id->Version.MajorNum = 1;
            id->Version.MinorNum = 0;
            id->Version.Language = TWLG_ENGLISH;
            id->Version.Country = TWCY_CANADA;
            CopyText(id->Version.Info, sizeof id->Version.Info, s.config.versionInfo);
            id->ProtocolMajor = static_cast<TW_UINT16>(s.config.protocolMajor);
            id->ProtocolMinor = static_cast<TW_UINT16>(s.config.protocolMinor);
            id->SupportedGroups = s.config.groups;
            CopyText(id->Manufacturer, sizeof id->Manufacturer, s.config.manufacturer);
            CopyText(id->ProductFamily, sizeof id->ProductFamily, s.config.family);
            CopyText(id->ProductName, sizeof id->ProductName, s.config.product);
            return TWRC_SUCCESS;
        }
        if (MSG == MSG_OPENDS) {
            if (s.state != kClosed) return Fail(s, TWCC_MAXCONNECTIONS);
            const bool keepEntry = s.haveEntry;
            s.config = ReadConfig();
            if (s.config.refuseOpen) return Fail(s, static_cast<TW_UINT16>(s.config.refuseOpen));
            if (s.config.strict && (s.config.groups & DF_DS2) && !keepEntry) return Fail(s, TWCC_SEQERROR);
            if (!origin || !pData) return Fail(s, TWCC_BADVALUE);
            if (s.config.legacy && !keepEntry) s.haveEntry = FindProgramFunctions(s.entry);
            s.app = *origin;
            s.self = *static_cast<pTW_IDENTITY>(pData);
            s.parked = MSG_NULL;
            s.caps = Caps{};
            if (s.config.xferMech >= 0) s.caps.xferMech = static_cast<TW_UINT16>(s.config.xferMech);
            s.state = kOpen;
            s.pageNumber = 0;
            s.fileName = "TWAIN.TMP";
            s.fileFormat = TWFF_TIFF;
            s.lastMultiFile.clear();
            return TWRC_SUCCESS;
        }
        if (MSG == MSG_CLOSEDS) {
            if (s.config.strict ? s.state != kOpen : s.state < kOpen) return Fail(s, TWCC_SEQERROR);
            s.lock.unlock();
            s.StopNotifier();
            s.lock.lock();
            s.state = kClosed;
            s.haveEntry = false;
            s.pending = 0;
            return TWRC_SUCCESS;
        }
        return Fail(s, TWCC_BADPROTOCOL);
    case DAT_ENTRYPOINT: {
        if (MSG != MSG_SET || !pData) return Fail(s, TWCC_BADPROTOCOL);
        const auto* entry = static_cast<const TW_ENTRYPOINT*>(pData);
        if (entry->Size != sizeof(TW_ENTRYPOINT)) return Fail(s, TWCC_BADVALUE);
        if (s.state != kClosed) return Fail(s, TWCC_SEQERROR);
        s.entry = *entry;
        s.haveEntry = true;
        return TWRC_SUCCESS;
    }
    case DAT_STATUS: {
        if (MSG != MSG_GET || !pData) return Fail(s, TWCC_BADPROTOCOL);
        auto* status = static_cast<TW_STATUS*>(pData);
        status->ConditionCode = s.conditionCode;
        status->Data = 0;
        s.conditionCode = TWCC_SUCCESS;
        return TWRC_SUCCESS;
    }
    case DAT_CAPABILITY: return Capability(s, MSG, static_cast<TW_CAPABILITY*>(pData), logged);
    case DAT_USERINTERFACE: {
        auto* ui = static_cast<TW_USERINTERFACE*>(pData);
        if (MSG == MSG_ENABLEDS || MSG == MSG_ENABLEDSUIONLY) {
            if (!ui) return Fail(s, TWCC_BADVALUE);
            if (s.state != kOpen) return Fail(s, TWCC_SEQERROR);
            s.state = kEnabled;
            s.transferred = 0;
            s.endlessAnswers = 0;
            if (MSG == MSG_ENABLEDSUIONLY) {
                s.showUI = true;
                s.pending = 0;
                NotifyLater(s, MSG_CLOSEDSOK);
                return TWRC_SUCCESS;
            }
            s.showUI = ui->ShowUI != 0;
            s.lastMultiFile.clear();
            const int sheets = s.config.pages * (s.caps.duplexEnabled ? 2 : 1);
            s.pending = s.caps.xferCount == -1 ? sheets : std::min<int>(sheets, s.caps.xferCount);
            logged = " pages=" + std::to_string(s.pending);
            if (s.pending == 0) return TWRC_SUCCESS;
            if (s.config.notify == "sync" && s.config.legacy) {
                s.state = kReady;
                s.parked = MSG_XFERREADY;
                s.parkedAt = std::chrono::steady_clock::now();
            } else if (s.config.notify == "sync") {
                s.state = kReady;
                s.lock.unlock();
                Notify(s, MSG_XFERREADY);
                s.lock.lock();
            } else if (s.config.notify != "none") {
                NotifyLater(s, MSG_XFERREADY);
            }
            return TWRC_SUCCESS;
        }
        if (MSG == MSG_DISABLEDS) {
            if (!ui) return Fail(s, TWCC_BADVALUE);
            if (s.config.strict ? s.state != kEnabled : s.state < kEnabled) return Fail(s, TWCC_SEQERROR);
            s.lock.unlock();
            s.StopNotifier();
            s.lock.lock();
            s.state = kOpen;
            s.pending = 0;
            s.pageDone = false;
            s.parked = MSG_NULL;
            return TWRC_SUCCESS;
        }
        return Fail(s, TWCC_BADPROTOCOL);
    }
    case DAT_PENDINGXFERS: {
        auto* pending = static_cast<TW_PENDINGXFERS*>(pData);
        if (MSG == MSG_ENDXFER) return EndTransfer(s, pending);
        if (MSG == MSG_RESET) return ResetTransfers(s, pending);
        if (MSG == MSG_GET) {
            if (!pending) return Fail(s, TWCC_BADVALUE);
            if (s.state < kOpen) return Fail(s, TWCC_SEQERROR);
            pending->Count = static_cast<TW_UINT16>(s.pending);
            pending->EOJ = 0;
            return TWRC_SUCCESS;
        }
        return Fail(s, TWCC_BADPROTOCOL);
    }
    case DAT_SETUPFILEXFER: {
        auto* setup = static_cast<TW_SETUPFILEXFER*>(pData);
        if (!setup) return Fail(s, TWCC_BADVALUE);
        if (s.config.strict ? !StateIn(s, kOpen, kReady) : s.state < kOpen) return Fail(s, TWCC_SEQERROR);
        if (MSG == MSG_GET || MSG == MSG_GETDEFAULT || MSG == MSG_RESET) {
            if (MSG == MSG_RESET) {
                s.fileName = "TWAIN.TMP";
                s.fileFormat = TWFF_TIFF;
            }
            const bool deflt = MSG == MSG_GETDEFAULT;
            CopyText(setup->FileName, sizeof setup->FileName, deflt ? std::string("TWAIN.TMP") : s.fileName);
            setup->Format = deflt ? TWFF_TIFF : s.fileFormat;
            setup->VRefNum = 0;
            return TWRC_SUCCESS;
        }
        if (MSG == MSG_SET) {
            const std::string name(setup->FileName, strnlen(setup->FileName, sizeof setup->FileName));
            logged = " file=" + name;
            if (name.empty() || !Contains(kFormats, setup->Format)) return Fail(s, TWCC_BADVALUE);
            s.fileName = name;
            s.fileFormat = setup->Format;
            return TWRC_SUCCESS;
        }
        return Fail(s, TWCC_BADPROTOCOL);
    }
    case DAT_SETUPMEMXFER: {
        if (MSG != MSG_GET) return Fail(s, TWCC_BADPROTOCOL);
        auto* setup = static_cast<TW_SETUPMEMXFER*>(pData);
        if (!setup) return Fail(s, TWCC_BADVALUE);
        if (s.config.strict ? !StateIn(s, kOpen, kReady) : s.state < kOpen) return Fail(s, TWCC_SEQERROR);
        const auto stride = static_cast<TW_UINT32>(PaddedRowBytes(s));
        setup->MinBufSize = stride;
        setup->MaxBufSize = stride * static_cast<TW_UINT32>(PageHeight(s));
        setup->Preferred = stride * static_cast<TW_UINT32>(s.config.memRows);
        return TWRC_SUCCESS;
    }
    case DAT_EVENT: {
        if (MSG != MSG_PROCESSEVENT || !pData) return Fail(s, TWCC_BADPROTOCOL);
        auto* event = static_cast<TW_EVENT*>(pData);
        event->TWMessage = MSG_NULL;
        if (!s.config.legacy || s.parked == MSG_NULL || std::chrono::steady_clock::now() < s.parkedAt)
            return TWRC_NOTDSEVENT;
        const TW_UINT16 message = s.parked;
        s.parked = MSG_NULL;
        if (message == MSG_XFERREADY) {
            // Ready only while images are waiting (as the notification
            // thread decides).
            if (s.state != kReady && (s.state != kEnabled || s.pending == 0)) return TWRC_NOTDSEVENT;
            s.state = kReady;
        }
        event->TWMessage = message;
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%04x", message);
        logged = std::string(" event=") + hex;
        return TWRC_DSEVENT;
    }
    default: return Fail(s, TWCC_BADPROTOCOL);
    }
}

TW_UINT16 Image(Session& s, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData, std::string& logged) {
    if (MSG != MSG_GET) return Fail(s, TWCC_BADPROTOCOL);
    switch (DAT) {
    case DAT_IMAGEINFO: return ImageInfo(s, static_cast<TW_IMAGEINFO*>(pData));
    case DAT_IMAGEFILEXFER: return FileTransfer(s, logged);
    case DAT_IMAGENATIVEXFER: return NativeTransfer(s, static_cast<TW_HANDLE*>(pData));
    case DAT_IMAGEMEMXFER: return MemoryTransfer(s, static_cast<TW_IMAGEMEMXFER*>(pData));
    case DAT_EXTIMAGEINFO: return ExtImageInfo(s, static_cast<TW_EXTIMAGEINFO*>(pData));
    default: return Fail(s, TWCC_BADPROTOCOL);
    }
}

}  // namespace

extern "C" TW_UINT16 DS_Entry(pTW_IDENTITY pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData) {
    Session& s = session();
    std::unique_lock guard(s.lock);
    if (!s.configRead) {
        s.config = ReadConfig();
        s.configRead = true;
    }
    if (s.state == kClosed && !(DAT == DAT_IDENTITY || DAT == DAT_ENTRYPOINT || DAT == DAT_STATUS)) {
        s.conditionCode = TWCC_SEQERROR;
        return TWRC_FAILURE;
    }
    if (s.config.throwOn == DAT) throw std::runtime_error("virtual scanner: injected failure");
    const int before = s.state;
    std::string logged;
    TW_UINT16 rc = TWRC_FAILURE;
    if (DG == DG_CONTROL)
        rc = Control(s, pOrigin, DAT, MSG, pData, logged);
    else if (DG == DG_IMAGE)
        rc = Image(s, DAT, MSG, pData, logged);
    else
        rc = Fail(s, TWCC_BADPROTOCOL);
    Log(s.config, "dg=0x%x dat=0x%04x msg=0x%04x rc=%u cc=%u state=%d->%d%s", DG, DAT, MSG, rc,
        rc == TWRC_FAILURE ? s.conditionCode : 0, before, s.state, logged.c_str());
    return rc;
}
