// The scan window's process-wide values: ScanSetting (device, format,
// folders, naming) and ScanStepFlags (the sixteen scan-time processing
// switches). Built-in defaults, never saved; they survive closing and
// reopening the scan window.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "settings/RelaxedAtomic.h"
#include "settings/SharedText.h"

// Folder and naming texts hold up to 259 characters (a 260-character buffer
// with its terminator); longer input is cut.
using ScanText = SharedText<259>;

namespace scan_setting {

struct Values {
    RelaxedAtomic<std::uint16_t> dpi{300};
    RelaxedAtomic<std::int32_t> duplex{0};        // 0 "单面", 1 "双面"
    RelaxedAtomic<std::uint16_t> bitDepth{24};     // 1, 8 or 24
    RelaxedAtomic<std::uint16_t> pixelType{2};     // 0 B/W, 1 grey, 2 RGB
    RelaxedAtomic<std::int32_t> fileFormat{0};    // 0 Jpg, 1 Tif
    RelaxedAtomic<std::int32_t> compression{0};   // index in the format's compression list
    RelaxedAtomic<std::uint16_t> jpegQuality{85};  // 0..100
    // Empty until the scan window fills them with the executable folder +
    // "Scan" / "Process" when it opens.
    ScanText scanFolder;
    ScanText processedFolder;
    ScanText subFolder;
    ScanText prefix;
    ScanText suffix;
    RelaxedAtomic<std::int32_t> codeLength{6};
    RelaxedAtomic<std::int32_t> startCode{1};
    RelaxedAtomic<std::uint8_t> disconnectOnClose{1};
    RelaxedAtomic<std::uint8_t> stopProcessingOnClose{1};
};

}  // namespace scan_setting

struct ScanSetting {
    using Values = scan_setting::Values;

    static inline Values values;
    static inline RelaxedAtomic<std::uint16_t>& dpi = values.dpi;
    static inline RelaxedAtomic<std::int32_t>& duplex = values.duplex;
    static inline RelaxedAtomic<std::uint16_t>& bitDepth = values.bitDepth;
    static inline RelaxedAtomic<std::uint16_t>& pixelType = values.pixelType;
    static inline RelaxedAtomic<std::int32_t>& fileFormat = values.fileFormat;
    static inline RelaxedAtomic<std::int32_t>& compression = values.compression;
    static inline RelaxedAtomic<std::uint16_t>& jpegQuality = values.jpegQuality;
    static inline ScanText& scanFolder = values.scanFolder;
    static inline ScanText& processedFolder = values.processedFolder;
    static inline ScanText& subFolder = values.subFolder;
    static inline ScanText& prefix = values.prefix;
    static inline ScanText& suffix = values.suffix;
    static inline RelaxedAtomic<std::int32_t>& codeLength = values.codeLength;
    static inline RelaxedAtomic<std::int32_t>& startCode = values.startCode;
    static inline RelaxedAtomic<std::uint8_t>& disconnectOnClose = values.disconnectOnClose;
    static inline RelaxedAtomic<std::uint8_t>& stopProcessingOnClose = values.stopProcessingOnClose;

    // Every value back to its built-in default (for tests).
    static void ResetToStart();

    ScanSetting() = delete;
};

// "使用扫描仪软件界面": show the scanner driver's own interface.
inline RelaxedAtomic<std::int32_t> g_useDriverUI{0};

struct ScanStepFlags {
    using Flag = RelaxedAtomic<std::uint8_t>;

    // In the order of the scan window's list, which is also the order of the
    // chain text.
    static inline Flag rmbkcolor{0};
    static inline Flag rmblackboard{0};
    static inline Flag rmblackborder{0};
    static inline Flag bindhole{0};
    static inline Flag rmstains{0};
    static inline Flag correct{0};
    static inline Flag center{0};
    static inline Flag cutbybkcolor{0};
    static inline Flag cutwhite{0};
    static inline Flag autocontrast{0};
    static inline Flag rmredseal{0};
    static inline Flag strenredseal{0};
    static inline Flag rmblankpage{0};
    static inline Flag modifycolor{0};
    static inline Flag rotatetextdirect{0};
    static inline Flag output{0};

    struct Switch {
        Flag* flag;
        const wchar_t* chainText;  // its name in the chain text
        char group;                // exclusive group 'A', 'B', 'C', or 0
    };
    static constexpr std::size_t kCount = 16;
    // The sixteen switches in list order.
    static const std::array<Switch, kCount>& Switches();

    // True when at least one switch is on.
    static bool AnyOn();
    // Ticks (on) or unticks switch `index` (list order). Ticking a switch of
    // an exclusive group clears the other switches of that group; unticking
    // clears only the switch itself. Out-of-range indices do nothing.
    static void Set(std::size_t index, bool on);
    // Every switch off (the state at program start).
    static void ResetToStart();

    ScanStepFlags() = delete;
};
