// The TWAIN protocol as this program speaks it: scalar types, the records
// passed through DSM_Entry and DS_Entry, and the constants.
//
// Records use 2-byte packing, so the identity is 156 bytes and a one-value
// container 6 bytes, as every TWAIN party lays them out. This is a 64-bit
// build: handles and pointers are 8 bytes, so the records that carry them
// (the entry-point record, the information entries of the extended image
// information, the callbacks) are larger than their 32-bit forms; their sizes
// are asserted below and code always uses sizeof, never a fixed number.
//
// Only constants whose values are known are defined here; names without a
// known value are left out and print through the fallback texts of the name
// tables (TwainNames.h).
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Scalar types

using TW_INT8 = std::int8_t;
using TW_INT16 = std::int16_t;
using TW_INT32 = std::int32_t;
using TW_UINT8 = std::uint8_t;
using TW_UINT16 = std::uint16_t;
using TW_UINT32 = std::uint32_t;
using TW_BOOL = std::uint16_t;
using TW_HANDLE = void*;
using TW_MEMREF = void*;
using TW_UINTPTR = std::uintptr_t;

using TW_STR32 = char[34];
using TW_STR64 = char[66];
using TW_STR128 = char[130];
using TW_STR255 = char[256];
using TW_STR1024 = char[1026];
using TW_UNI512 = char16_t[512];

#pragma pack(push, 2)

// A fixed-point number: Whole + Frac / 65536.
struct TW_FIX32 {
    TW_INT16 Whole;
    TW_UINT16 Frac;
};

struct TW_FRAME {
    TW_FIX32 Left;
    TW_FIX32 Top;
    TW_FIX32 Right;
    TW_FIX32 Bottom;
};

struct TW_VERSION {
    TW_UINT16 MajorNum;
    TW_UINT16 MinorNum;
    TW_UINT16 Language;
    TW_UINT16 Country;
    TW_STR32 Info;
};

struct TW_IDENTITY {
    TW_UINT32 Id;
    TW_VERSION Version;
    TW_UINT16 ProtocolMajor;
    TW_UINT16 ProtocolMinor;
    TW_UINT32 SupportedGroups;
    TW_STR32 Manufacturer;
    TW_STR32 ProductFamily;
    TW_STR32 ProductName;
};
using pTW_IDENTITY = TW_IDENTITY*;

struct TW_USERINTERFACE {
    TW_BOOL ShowUI;
    TW_BOOL ModalUI;
    TW_HANDLE hParent;
};

struct TW_CAPABILITY {
    TW_UINT16 Cap;
    TW_UINT16 ConType;
    TW_HANDLE hContainer;
};

// Containers (the memory a capability's hContainer holds).
struct TW_ONEVALUE {
    TW_UINT16 ItemType;
    TW_UINT32 Item;
};

struct TW_ENUMERATION {
    TW_UINT16 ItemType;
    TW_UINT32 NumItems;
    TW_UINT32 CurrentIndex;
    TW_UINT32 DefaultIndex;
    TW_UINT8 ItemList[1];
};

struct TW_RANGE {
    TW_UINT16 ItemType;
    TW_UINT32 MinValue;
    TW_UINT32 MaxValue;
    TW_UINT32 StepSize;
    TW_UINT32 DefaultValue;
    TW_UINT32 CurrentValue;
};

struct TW_ARRAY {
    TW_UINT16 ItemType;
    TW_UINT32 NumItems;
    TW_UINT8 ItemList[1];
};

struct TW_PENDINGXFERS {
    TW_UINT16 Count;
    TW_UINT32 EOJ;
};

struct TW_STATUS {
    TW_UINT16 ConditionCode;
    TW_UINT16 Data;
};

struct TW_EVENT {
    TW_MEMREF pEvent;
    TW_UINT16 TWMessage;
};

// DSM_Entry, DS_Entry and the application's callback.
using DSMENTRYPROC = TW_UINT16 (*)(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat,
                                   TW_UINT16 msg, TW_MEMREF data);
using DSENTRYPROC = TW_UINT16 (*)(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                  TW_MEMREF data);
using TWAINCALLBACKPROC = DSMENTRYPROC;

using DSM_MEMALLOCATE = TW_HANDLE (*)(TW_UINT32 size);
using DSM_MEMFREE = void (*)(TW_HANDLE handle);
using DSM_MEMLOCK = TW_MEMREF (*)(TW_HANDLE handle);
using DSM_MEMUNLOCK = void (*)(TW_HANDLE handle);

struct TW_CALLBACK {
    TW_MEMREF CallBackProc;
    TW_UINT32 RefCon;
    TW_UINT16 Message;
};

// The same with a pointer-sized reference value.
struct TW_CALLBACK2 {
    TW_MEMREF CallBackProc;
    TW_UINTPTR RefCon;
    TW_UINT16 Message;
};

struct TW_ENTRYPOINT {
    TW_UINT32 Size;
    DSMENTRYPROC DSM_Entry;
    DSM_MEMALLOCATE DSM_MemAllocate;
    DSM_MEMFREE DSM_MemFree;
    DSM_MEMLOCK DSM_MemLock;
    DSM_MEMUNLOCK DSM_MemUnlock;
};

struct TW_SETUPFILEXFER {
    TW_STR255 FileName;
    TW_UINT16 Format;
    TW_INT16 VRefNum;
};

struct TW_SETUPMEMXFER {
    TW_UINT32 MinBufSize;
    TW_UINT32 MaxBufSize;
    TW_UINT32 Preferred;
};

struct TW_MEMORY {
    TW_UINT32 Flags;
    TW_UINT32 Length;
    TW_MEMREF TheMem;
};

struct TW_IMAGEMEMXFER {
    TW_UINT16 Compression;
    TW_UINT32 BytesPerRow;
    TW_UINT32 Columns;
    TW_UINT32 Rows;
    TW_UINT32 XOffset;
    TW_UINT32 YOffset;
    TW_UINT32 BytesWritten;
    TW_MEMORY Memory;
};

struct TW_IMAGEINFO {
    TW_FIX32 XResolution;
    TW_FIX32 YResolution;
    TW_INT32 ImageWidth;
    TW_INT32 ImageLength;
    TW_INT16 SamplesPerPixel;
    TW_INT16 BitsPerSample[8];
    TW_INT16 BitsPerPixel;
    TW_BOOL Planar;
    TW_INT16 PixelType;
    TW_UINT16 Compression;
};

// One entry of the extended image information. Item holds the value itself
// when all NumItems values fit into it (kTwainInfoInlineBytes), else a handle
// to them; strings and frames always come through a handle.
struct TW_INFO {
    TW_UINT16 InfoID;
    TW_UINT16 ItemType;
    TW_UINT16 NumItems;
    TW_UINT16 ReturnCode;  // the condition code when the entry failed
    TW_UINTPTR Item;
};

struct TW_EXTIMAGEINFO {
    TW_UINT32 NumInfos;
    TW_INFO Info[1];
};

struct TW_TWUNKIDENTITY {
    TW_IDENTITY identity;
    TW_STR255 dsPath;
};

#pragma pack(pop)

static_assert(sizeof(TW_FIX32) == 4);
static_assert(sizeof(TW_FRAME) == 16);
static_assert(sizeof(TW_VERSION) == 42);
static_assert(sizeof(TW_IDENTITY) == 156);
static_assert(sizeof(TW_ONEVALUE) == 6);
static_assert(offsetof(TW_ENUMERATION, ItemList) == 14);
static_assert(sizeof(TW_RANGE) == 22);
static_assert(offsetof(TW_ARRAY, ItemList) == 6);
static_assert(sizeof(TW_PENDINGXFERS) == 6);
static_assert(sizeof(TW_STATUS) == 4);
static_assert(sizeof(TW_SETUPFILEXFER) == 260);
static_assert(sizeof(TW_SETUPMEMXFER) == 12);
static_assert(sizeof(TW_IMAGEINFO) == 42);
static_assert(sizeof(TW_TWUNKIDENTITY) == 156 + 256);
// Pointer-carrying records: their 64-bit sizes.
static_assert(sizeof(void*) == 8, "the TWAIN records below are laid out for a 64-bit build");
static_assert(sizeof(TW_USERINTERFACE) == 12);
static_assert(sizeof(TW_CAPABILITY) == 12);
static_assert(sizeof(TW_EVENT) == 10);
static_assert(sizeof(TW_CALLBACK) == 14);
static_assert(sizeof(TW_CALLBACK2) == 18);
static_assert(sizeof(TW_ENTRYPOINT) == 44);
static_assert(sizeof(TW_MEMORY) == 16);
static_assert(sizeof(TW_IMAGEMEMXFER) == 42);
static_assert(sizeof(TW_INFO) == 16);
static_assert(offsetof(TW_EXTIMAGEINFO, Info) == 4);

// Bytes of values an information entry's Item holds itself.
constexpr std::size_t kTwainInfoInlineBytes = sizeof(TW_UINTPTR);

// The size of TW_EXTIMAGEINFO with `count` entries.
constexpr std::size_t TwainExtImageInfoSize(std::size_t count) {
    return offsetof(TW_EXTIMAGEINFO, Info) + sizeof(TW_INFO) * count;
}

// ---------------------------------------------------------------------------
// Data groups and group flags

constexpr TW_UINT32 DG_CONTROL = 0x0001;
constexpr TW_UINT32 DG_IMAGE = 0x0002;
constexpr TW_UINT32 DG_AUDIO = 0x0004;
constexpr TW_UINT32 DF_DSM2 = 0x10000000;
constexpr TW_UINT32 DF_APP2 = 0x20000000;
constexpr TW_UINT32 DF_DS2 = 0x40000000;

// ---------------------------------------------------------------------------
// Data argument types

constexpr TW_UINT16 DAT_NULL = 0x0000;
constexpr TW_UINT16 DAT_CAPABILITY = 0x0001;
constexpr TW_UINT16 DAT_EVENT = 0x0002;
constexpr TW_UINT16 DAT_IDENTITY = 0x0003;
constexpr TW_UINT16 DAT_PARENT = 0x0004;
constexpr TW_UINT16 DAT_PENDINGXFERS = 0x0005;
constexpr TW_UINT16 DAT_SETUPMEMXFER = 0x0006;
constexpr TW_UINT16 DAT_SETUPFILEXFER = 0x0007;
constexpr TW_UINT16 DAT_STATUS = 0x0008;
constexpr TW_UINT16 DAT_USERINTERFACE = 0x0009;
constexpr TW_UINT16 DAT_TWUNKIDENTITY = 0x000B;
constexpr TW_UINT16 DAT_CALLBACK = 0x0010;
constexpr TW_UINT16 DAT_CALLBACK2 = 0x0012;
constexpr TW_UINT16 DAT_IMAGEINFO = 0x0101;
constexpr TW_UINT16 DAT_IMAGEMEMXFER = 0x0103;
constexpr TW_UINT16 DAT_IMAGENATIVEXFER = 0x0104;
constexpr TW_UINT16 DAT_IMAGEFILEXFER = 0x0105;
constexpr TW_UINT16 DAT_EXTIMAGEINFO = 0x010B;
constexpr TW_UINT16 DAT_ENTRYPOINT = 0x0403;
constexpr TW_UINT16 DAT_CUSTOMBASE = 0x8000;

// ---------------------------------------------------------------------------
// Messages

constexpr TW_UINT16 MSG_NULL = 0x0000;
constexpr TW_UINT16 MSG_GET = 0x0001;
constexpr TW_UINT16 MSG_GETCURRENT = 0x0002;
constexpr TW_UINT16 MSG_GETDEFAULT = 0x0003;
constexpr TW_UINT16 MSG_GETFIRST = 0x0004;
constexpr TW_UINT16 MSG_GETNEXT = 0x0005;
constexpr TW_UINT16 MSG_SET = 0x0006;
constexpr TW_UINT16 MSG_RESET = 0x0007;
constexpr TW_UINT16 MSG_XFERREADY = 0x0101;
constexpr TW_UINT16 MSG_CLOSEDSREQ = 0x0102;
constexpr TW_UINT16 MSG_CLOSEDSOK = 0x0103;
constexpr TW_UINT16 MSG_DEVICEEVENT = 0x0104;
constexpr TW_UINT16 MSG_CHECKSTATUS = 0x0201;
constexpr TW_UINT16 MSG_OPENDSM = 0x0301;
constexpr TW_UINT16 MSG_CLOSEDSM = 0x0302;
constexpr TW_UINT16 MSG_OPENDS = 0x0401;
constexpr TW_UINT16 MSG_CLOSEDS = 0x0402;
constexpr TW_UINT16 MSG_USERSELECT = 0x0403;
constexpr TW_UINT16 MSG_DISABLEDS = 0x0501;
constexpr TW_UINT16 MSG_ENABLEDS = 0x0502;
constexpr TW_UINT16 MSG_ENABLEDSUIONLY = 0x0503;
constexpr TW_UINT16 MSG_PROCESSEVENT = 0x0601;
constexpr TW_UINT16 MSG_ENDXFER = 0x0701;
constexpr TW_UINT16 MSG_REGISTER_CALLBACK = 0x0902;
constexpr TW_UINT16 MSG_INVOKE_CALLBACK = 0x0903;
constexpr TW_UINT16 MSG_CUSTOMBASE = 0x8000;

// ---------------------------------------------------------------------------
// Return codes

constexpr TW_UINT16 TWRC_SUCCESS = 0;
constexpr TW_UINT16 TWRC_FAILURE = 1;
constexpr TW_UINT16 TWRC_CHECKSTATUS = 2;
constexpr TW_UINT16 TWRC_CANCEL = 3;
constexpr TW_UINT16 TWRC_DSEVENT = 4;
constexpr TW_UINT16 TWRC_NOTDSEVENT = 5;
constexpr TW_UINT16 TWRC_XFERDONE = 6;
constexpr TW_UINT16 TWRC_ENDOFLIST = 7;
constexpr TW_UINT16 TWRC_INFONOTSUPPORTED = 8;
constexpr TW_UINT16 TWRC_DATANOTAVAILABLE = 9;

// ---------------------------------------------------------------------------
// Condition codes

constexpr TW_UINT16 TWCC_SUCCESS = 0;
constexpr TW_UINT16 TWCC_BUMMER = 1;
constexpr TW_UINT16 TWCC_LOWMEMORY = 2;
constexpr TW_UINT16 TWCC_NODS = 3;
constexpr TW_UINT16 TWCC_MAXCONNECTIONS = 4;
constexpr TW_UINT16 TWCC_OPERATIONERROR = 5;
constexpr TW_UINT16 TWCC_BADCAP = 6;
constexpr TW_UINT16 TWCC_BADPROTOCOL = 9;
constexpr TW_UINT16 TWCC_BADVALUE = 10;
constexpr TW_UINT16 TWCC_SEQERROR = 11;
constexpr TW_UINT16 TWCC_BADDEST = 12;
constexpr TW_UINT16 TWCC_CAPUNSUPPORTED = 13;
constexpr TW_UINT16 TWCC_CAPBADOPERATION = 14;
constexpr TW_UINT16 TWCC_CAPSEQERROR = 15;
constexpr TW_UINT16 TWCC_DENIED = 16;
constexpr TW_UINT16 TWCC_FILEEXISTS = 17;
constexpr TW_UINT16 TWCC_FILENOTFOUND = 18;
constexpr TW_UINT16 TWCC_NOTEMPTY = 19;
constexpr TW_UINT16 TWCC_PAPERJAM = 20;
constexpr TW_UINT16 TWCC_PAPERDOUBLEFEED = 21;
constexpr TW_UINT16 TWCC_FILEWRITEERROR = 22;
constexpr TW_UINT16 TWCC_CHECKDEVICEONLINE = 23;
constexpr TW_UINT16 TWCC_DAMAGEDCORNER = 25;
constexpr TW_UINT16 TWCC_DOCTOOLIGHT = 27;
constexpr TW_UINT16 TWCC_DOCTOODARK = 28;

// ---------------------------------------------------------------------------
// Container types, item types, memory flags

constexpr TW_UINT16 TWON_ARRAY = 3;
constexpr TW_UINT16 TWON_ENUMERATION = 4;
constexpr TW_UINT16 TWON_ONEVALUE = 5;
constexpr TW_UINT16 TWON_RANGE = 6;
constexpr TW_UINT16 TWON_DONTCARE16 = 0xFFFF;
constexpr TW_UINT32 TWON_DONTCARE32 = 0xFFFFFFFF;

constexpr TW_UINT16 TWTY_INT8 = 0;
constexpr TW_UINT16 TWTY_INT16 = 1;
constexpr TW_UINT16 TWTY_INT32 = 2;
constexpr TW_UINT16 TWTY_UINT8 = 3;
constexpr TW_UINT16 TWTY_UINT16 = 4;
constexpr TW_UINT16 TWTY_UINT32 = 5;
constexpr TW_UINT16 TWTY_BOOL = 6;
constexpr TW_UINT16 TWTY_FIX32 = 7;
constexpr TW_UINT16 TWTY_FRAME = 8;
constexpr TW_UINT16 TWTY_STR32 = 9;
constexpr TW_UINT16 TWTY_STR64 = 10;
constexpr TW_UINT16 TWTY_STR128 = 11;
constexpr TW_UINT16 TWTY_STR255 = 12;
constexpr TW_UINT16 TWTY_STR1024 = 13;
constexpr TW_UINT16 TWTY_UNI512 = 14;
constexpr TW_UINT16 TWTY_HANDLE = 15;

constexpr TW_UINT32 TWMF_APPOWNS = 0x0001;
constexpr TW_UINT32 TWMF_POINTER = 0x0008;

// The size in bytes of one item of `itemType`; 0 for an unknown type.
constexpr std::size_t twainItemSize(TW_UINT16 itemType) {
    switch (itemType) {
    case TWTY_INT8:
    case TWTY_UINT8: return 1;
    case TWTY_INT16:
    case TWTY_UINT16:
    case TWTY_BOOL: return 2;
    case TWTY_INT32:
    case TWTY_UINT32:
    case TWTY_FIX32: return 4;
    case TWTY_HANDLE: return sizeof(TW_HANDLE);
    case TWTY_FRAME: return sizeof(TW_FRAME);
    case TWTY_STR32: return sizeof(TW_STR32);
    case TWTY_STR64: return sizeof(TW_STR64);
    case TWTY_STR128: return sizeof(TW_STR128);
    case TWTY_STR255: return sizeof(TW_STR255);
    case TWTY_STR1024: return sizeof(TW_STR1024);
    case TWTY_UNI512: return sizeof(TW_UNI512);
    default: return 0;
    }
}

// ---------------------------------------------------------------------------
// Capabilities

constexpr TW_UINT16 CAP_CUSTOMBASE = 0x8000;

constexpr TW_UINT16 CAP_XFERCOUNT = 0x0001;
constexpr TW_UINT16 ICAP_COMPRESSION = 0x0100;
constexpr TW_UINT16 ICAP_PIXELTYPE = 0x0101;
constexpr TW_UINT16 ICAP_UNITS = 0x0102;
constexpr TW_UINT16 ICAP_XFERMECH = 0x0103;
constexpr TW_UINT16 CAP_AUTHOR = 0x1000;
constexpr TW_UINT16 CAP_CAPTION = 0x1001;
constexpr TW_UINT16 CAP_FEEDERENABLED = 0x1002;
constexpr TW_UINT16 CAP_FEEDERLOADED = 0x1003;
constexpr TW_UINT16 CAP_TIMEDATE = 0x1004;
constexpr TW_UINT16 CAP_SUPPORTEDCAPS = 0x1005;
constexpr TW_UINT16 CAP_EXTENDEDCAPS = 0x1006;
constexpr TW_UINT16 CAP_AUTOFEED = 0x1007;
constexpr TW_UINT16 CAP_CLEARPAGE = 0x1008;
constexpr TW_UINT16 CAP_FEEDPAGE = 0x1009;
constexpr TW_UINT16 CAP_REWINDPAGE = 0x100A;
constexpr TW_UINT16 CAP_INDICATORS = 0x100B;
constexpr TW_UINT16 CAP_SUPPORTEDCAPSEXT = 0x100C;
constexpr TW_UINT16 CAP_PAPERDETECTABLE = 0x100D;
constexpr TW_UINT16 CAP_UICONTROLLABLE = 0x100E;
constexpr TW_UINT16 CAP_DEVICEONLINE = 0x100F;
constexpr TW_UINT16 CAP_AUTOSCAN = 0x1010;
constexpr TW_UINT16 CAP_THUMBNAILSENABLED = 0x1011;
constexpr TW_UINT16 CAP_DUPLEX = 0x1012;
constexpr TW_UINT16 CAP_DUPLEXENABLED = 0x1013;
constexpr TW_UINT16 CAP_ENABLEDSUIONLY = 0x1014;
constexpr TW_UINT16 CAP_CUSTOMDSDATA = 0x1015;
constexpr TW_UINT16 CAP_ENDORSER = 0x1016;
constexpr TW_UINT16 CAP_ALARMS = 0x1018;
constexpr TW_UINT16 CAP_ALARMVOLUME = 0x1019;
constexpr TW_UINT16 CAP_AUTOMATICCAPTURE = 0x101A;
constexpr TW_UINT16 CAP_TIMEBEFOREFIRSTCAPTURE = 0x101B;
constexpr TW_UINT16 CAP_TIMEBETWEENCAPTURES = 0x101C;
constexpr TW_UINT16 CAP_CLEARBUFFERS = 0x101D;
constexpr TW_UINT16 CAP_MAXBATCHBUFFERS = 0x101E;
constexpr TW_UINT16 CAP_DEVICETIMEDATE = 0x101F;
constexpr TW_UINT16 CAP_CAMERAPREVIEWUI = 0x1021;
constexpr TW_UINT16 CAP_DEVICEEVENT = 0x1022;
constexpr TW_UINT16 CAP_FEEDERALIGNMENT = 0x102D;
constexpr TW_UINT16 CAP_FEEDERORDER = 0x102E;
constexpr TW_UINT16 CAP_BATTERYMINUTES = 0x1032;
constexpr TW_UINT16 CAP_BATTERYPERCENTAGE = 0x1033;
constexpr TW_UINT16 CAP_CAMERASIDE = 0x1034;
constexpr TW_UINT16 CAP_CAMERAENABLED = 0x1036;
constexpr TW_UINT16 CAP_CAMERAORDER = 0x1037;
constexpr TW_UINT16 CAP_FEEDERPOCKET = 0x103A;
constexpr TW_UINT16 CAP_AUTOMATICSENSEMEDIUM = 0x103B;
constexpr TW_UINT16 CAP_CUSTOMINTERFACEGUID = 0x103C;
constexpr TW_UINT16 ICAP_IMAGEFILEFORMAT = 0x110C;
constexpr TW_UINT16 ICAP_FRAMES = 0x1114;
constexpr TW_UINT16 ICAP_XRESOLUTION = 0x1118;
constexpr TW_UINT16 ICAP_YRESOLUTION = 0x1119;
constexpr TW_UINT16 ICAP_BITDEPTH = 0x112B;
constexpr TW_UINT16 ICAP_JPEGQUALITY = 0x1153;
constexpr TW_UINT16 ICAP_SUPPORTEDEXTIMAGEINFO = 0x115E;
constexpr TW_UINT16 ACAP_AUDIOFILEFORMAT = 0x1201;
constexpr TW_UINT16 ACAP_XFERMECH = 0x1202;

// ---------------------------------------------------------------------------
// Capability values

// ICAP_XFERMECH
constexpr TW_UINT16 TWSX_NATIVE = 0;
constexpr TW_UINT16 TWSX_FILE = 1;
constexpr TW_UINT16 TWSX_MEMORY = 2;
constexpr TW_UINT16 TWSX_FILE2 = 3;

// ICAP_IMAGEFILEFORMAT
constexpr TW_UINT16 TWFF_TIFF = 0;
constexpr TW_UINT16 TWFF_PICT = 1;
constexpr TW_UINT16 TWFF_BMP = 2;
constexpr TW_UINT16 TWFF_XBM = 3;
constexpr TW_UINT16 TWFF_JFIF = 4;
constexpr TW_UINT16 TWFF_FPX = 5;
constexpr TW_UINT16 TWFF_TIFFMULTI = 6;
constexpr TW_UINT16 TWFF_PNG = 7;
constexpr TW_UINT16 TWFF_SPIFF = 8;
constexpr TW_UINT16 TWFF_EXIF = 9;
constexpr TW_UINT16 TWFF_PDF = 10;
constexpr TW_UINT16 TWFF_JPEG2000 = 11;
constexpr TW_UINT16 TWFF_JPN = 12;
constexpr TW_UINT16 TWFF_JPX = 13;
constexpr TW_UINT16 TWFF_DEJAVU = 14;
constexpr TW_UINT16 TWFF_PDFA = 15;
constexpr TW_UINT16 TWFF_PDFA2 = 16;

// ICAP_PIXELTYPE
constexpr TW_UINT16 TWPT_BW = 0;
constexpr TW_UINT16 TWPT_GRAY = 1;
constexpr TW_UINT16 TWPT_RGB = 2;
constexpr TW_UINT16 TWPT_PALETTE = 3;
constexpr TW_UINT16 TWPT_CMY = 4;
constexpr TW_UINT16 TWPT_CMYK = 5;
constexpr TW_UINT16 TWPT_YUV = 6;
constexpr TW_UINT16 TWPT_YUVK = 7;
constexpr TW_UINT16 TWPT_CIEXYZ = 8;
constexpr TW_UINT16 TWPT_LAB = 9;
constexpr TW_UINT16 TWPT_SRGB = 10;
constexpr TW_UINT16 TWPT_SCRGB = 11;
constexpr TW_UINT16 TWPT_BGR = 12;
constexpr TW_UINT16 TWPT_CIELAB = 13;
constexpr TW_UINT16 TWPT_CIELUV = 14;
constexpr TW_UINT16 TWPT_YCBCR = 15;
constexpr TW_UINT16 TWPT_INFRARED = 16;

// ICAP_COMPRESSION
constexpr TW_UINT16 TWCP_NONE = 0;
constexpr TW_UINT16 TWCP_PACKBITS = 1;
constexpr TW_UINT16 TWCP_GROUP31D = 2;
constexpr TW_UINT16 TWCP_GROUP31DEOL = 3;
constexpr TW_UINT16 TWCP_GROUP32D = 4;
constexpr TW_UINT16 TWCP_GROUP4 = 5;
constexpr TW_UINT16 TWCP_JPEG = 6;
constexpr TW_UINT16 TWCP_LZW = 7;
constexpr TW_UINT16 TWCP_JBIG = 8;
constexpr TW_UINT16 TWCP_PNG = 9;
constexpr TW_UINT16 TWCP_RLE4 = 10;
constexpr TW_UINT16 TWCP_RLE8 = 11;
constexpr TW_UINT16 TWCP_BITFIELDS = 12;
constexpr TW_UINT16 TWCP_ZIP = 13;
constexpr TW_UINT16 TWCP_JPEG2000 = 14;

// ICAP_UNITS
constexpr TW_UINT16 TWUN_INCHES = 0;
constexpr TW_UINT16 TWUN_CENTIMETERS = 1;
constexpr TW_UINT16 TWUN_PICAS = 2;
constexpr TW_UINT16 TWUN_POINTS = 3;
constexpr TW_UINT16 TWUN_TWIPS = 4;
constexpr TW_UINT16 TWUN_PIXELS = 5;

// ICAP_JPEGQUALITY: the named levels (other values are a percentage).
constexpr TW_INT16 TWJQ_UNKNOWN = -4;
constexpr TW_INT16 TWJQ_LOW = -3;
constexpr TW_INT16 TWJQ_MEDIUM = -2;
constexpr TW_INT16 TWJQ_HIGH = -1;

// ICAP_ORIENTATION
constexpr TW_UINT16 TWOR_ROT0 = 0;
constexpr TW_UINT16 TWOR_ROT90 = 1;
constexpr TW_UINT16 TWOR_ROT180 = 2;
constexpr TW_UINT16 TWOR_ROT270 = 3;
constexpr TW_UINT16 TWOR_PORTRAIT = TWOR_ROT0;
constexpr TW_UINT16 TWOR_LANDSCAPE = TWOR_ROT270;

// ICAP_LIGHTSOURCE
constexpr TW_UINT16 TWLS_RED = 0;
constexpr TW_UINT16 TWLS_GREEN = 1;
constexpr TW_UINT16 TWLS_BLUE = 2;
constexpr TW_UINT16 TWLS_NONE = 3;
constexpr TW_UINT16 TWLS_WHITE = 4;
constexpr TW_UINT16 TWLS_UV = 5;
constexpr TW_UINT16 TWLS_IR = 6;

// ICAP_LIGHTPATH
constexpr TW_UINT16 TWLP_REFLECTIVE = 0;
constexpr TW_UINT16 TWLP_TRANSMISSIVE = 1;

// ICAP_FILTER
constexpr TW_UINT16 TWFT_RED = 0;
constexpr TW_UINT16 TWFT_GREEN = 1;
constexpr TW_UINT16 TWFT_BLUE = 2;
constexpr TW_UINT16 TWFT_NONE = 3;
constexpr TW_UINT16 TWFT_WHITE = 4;
constexpr TW_UINT16 TWFT_CYAN = 5;
constexpr TW_UINT16 TWFT_MAGENTA = 6;
constexpr TW_UINT16 TWFT_YELLOW = 7;
constexpr TW_UINT16 TWFT_BLACK = 8;

// ICAP_PIXELFLAVOR
constexpr TW_UINT16 TWPF_CHOCOLATE = 0;
constexpr TW_UINT16 TWPF_VANILLA = 1;

// ICAP_SUPPORTEDSIZES
constexpr TW_UINT16 TWSS_NONE = 0;
constexpr TW_UINT16 TWSS_A4LETTER = 1;
constexpr TW_UINT16 TWSS_B5LETTER = 2;
constexpr TW_UINT16 TWSS_USLETTER = 3;
constexpr TW_UINT16 TWSS_USLEGAL = 4;
constexpr TW_UINT16 TWSS_A5 = 5;
constexpr TW_UINT16 TWSS_B4 = 6;
constexpr TW_UINT16 TWSS_B6 = 7;
constexpr TW_UINT16 TWSS_USLEDGER = 9;
constexpr TW_UINT16 TWSS_USEXECUTIVE = 10;
constexpr TW_UINT16 TWSS_A3 = 11;
constexpr TW_UINT16 TWSS_B3 = 12;
constexpr TW_UINT16 TWSS_A6 = 13;
constexpr TW_UINT16 TWSS_C4 = 14;
constexpr TW_UINT16 TWSS_C5 = 15;
constexpr TW_UINT16 TWSS_C6 = 16;
constexpr TW_UINT16 TWSS_4A0 = 17;
constexpr TW_UINT16 TWSS_2A0 = 18;
constexpr TW_UINT16 TWSS_A0 = 19;
constexpr TW_UINT16 TWSS_A1 = 20;
constexpr TW_UINT16 TWSS_A2 = 21;
constexpr TW_UINT16 TWSS_A4 = TWSS_A4LETTER;
constexpr TW_UINT16 TWSS_A7 = 22;
constexpr TW_UINT16 TWSS_A8 = 23;
constexpr TW_UINT16 TWSS_A9 = 24;
constexpr TW_UINT16 TWSS_A10 = 25;
constexpr TW_UINT16 TWSS_ISOB0 = 26;
constexpr TW_UINT16 TWSS_ISOB1 = 27;
constexpr TW_UINT16 TWSS_ISOB2 = 28;
constexpr TW_UINT16 TWSS_ISOB3 = TWSS_B3;

// Languages (TW_VERSION.Language, CAP_LANGUAGE).
constexpr TW_UINT16 TWLG_DANISH = 0;
constexpr TW_UINT16 TWLG_DAN = TWLG_DANISH;
constexpr TW_UINT16 TWLG_DUTCH = 1;
constexpr TW_UINT16 TWLG_DUT = TWLG_DUTCH;
constexpr TW_UINT16 TWLG_ENGLISH = 2;
constexpr TW_UINT16 TWLG_ENG = TWLG_ENGLISH;
constexpr TW_UINT16 TWLG_FRENCH = 5;
constexpr TW_UINT16 TWLG_GERMAN = 6;
constexpr TW_UINT16 TWLG_AFRIKAANS = 14;
constexpr TW_UINT16 TWLG_ALBANIA = 15;
constexpr TW_UINT16 TWLG_ARABIC = 16;
constexpr TW_UINT16 TWLG_ARABIC_ALGERIA = 17;
constexpr TW_UINT16 TWLG_ARABIC_BAHRAIN = 18;
constexpr TW_UINT16 TWLG_ARABIC_EGYPT = 19;
constexpr TW_UINT16 TWLG_ARABIC_IRAQ = 20;
constexpr TW_UINT16 TWLG_ARABIC_JORDAN = 21;
constexpr TW_UINT16 TWLG_ARABIC_KUWAIT = 22;
constexpr TW_UINT16 TWLG_ARABIC_LEBANON = 23;
constexpr TW_UINT16 TWLG_ARABIC_LIBYA = 24;
constexpr TW_UINT16 TWLG_ARABIC_MOROCCO = 25;
constexpr TW_UINT16 TWLG_ARABIC_OMAN = 26;
constexpr TW_UINT16 TWLG_ARABIC_QATAR = 27;
constexpr TW_UINT16 TWLG_ARABIC_SAUDIARABIA = 28;
constexpr TW_UINT16 TWLG_ARABIC_SYRIA = 29;
constexpr TW_UINT16 TWLG_ARABIC_TUNISIA = 30;
constexpr TW_UINT16 TWLG_ARABIC_UAE = 31;
constexpr TW_UINT16 TWLG_ARABIC_YEMEN = 32;
constexpr TW_UINT16 TWLG_BASQUE = 33;
constexpr TW_UINT16 TWLG_BYELORUSSIAN = 34;
constexpr TW_UINT16 TWLG_BULGARIAN = 35;
constexpr TW_UINT16 TWLG_CATALAN = 36;
constexpr TW_UINT16 TWLG_CHINESE = 37;
constexpr TW_UINT16 TWLG_CHINESE_HONGKONG = 38;
constexpr TW_UINT16 TWLG_CHINESE_PRC = 39;
constexpr TW_UINT16 TWLG_CHINESE_SINGAPORE = 40;
constexpr TW_UINT16 TWLG_CHINESE_SIMPLIFIED = 41;
constexpr TW_UINT16 TWLG_CHINESE_TAIWAN = 42;
constexpr TW_UINT16 TWLG_CHINESE_TRADITIONAL = 43;
constexpr TW_UINT16 TWLG_CROATIA = 44;
constexpr TW_UINT16 TWLG_CZECH = 45;
constexpr TW_UINT16 TWLG_DUTCH_BELGIAN = 46;
constexpr TW_UINT16 TWLG_ENGLISH_AUSTRALIAN = 47;
constexpr TW_UINT16 TWLG_ENGLISH_CANADIAN = 48;
constexpr TW_UINT16 TWLG_ENGLISH_IRELAND = 49;
constexpr TW_UINT16 TWLG_ASSAMESE = 87;
constexpr TW_UINT16 TWLG_BENGALI = 88;
constexpr TW_UINT16 TWLG_BIHARI = 89;
constexpr TW_UINT16 TWLG_BODO = 90;
constexpr TW_UINT16 TWLG_DOGRI = 91;
constexpr TW_UINT16 TWLG_USERLOCALE = 0xFFFF;

// Countries (TW_VERSION.Country).
constexpr TW_UINT16 TWCY_CANADA = 2;
constexpr TW_UINT16 TWCY_CHINA = 86;

// ---------------------------------------------------------------------------
// Extended image information

constexpr TW_UINT16 TWEI_BARCODEX = 0x1200;
constexpr TW_UINT16 TWEI_BARCODEY = 0x1201;
constexpr TW_UINT16 TWEI_BARCODETEXT = 0x1202;
constexpr TW_UINT16 TWEI_BARCODETYPE = 0x1203;
constexpr TW_UINT16 TWEI_DESHADETOP = 0x1204;
constexpr TW_UINT16 TWEI_DESHADELEFT = 0x1205;
constexpr TW_UINT16 TWEI_DESHADEHEIGHT = 0x1206;
constexpr TW_UINT16 TWEI_DESHADEWIDTH = 0x1207;
constexpr TW_UINT16 TWEI_DESHADESIZE = 0x1208;
constexpr TW_UINT16 TWEI_SPECKLESREMOVED = 0x1209;
constexpr TW_UINT16 TWEI_HORZLINEXCOORD = 0x120A;
constexpr TW_UINT16 TWEI_HORZLINEYCOORD = 0x120B;
constexpr TW_UINT16 TWEI_HORZLINELENGTH = 0x120C;
constexpr TW_UINT16 TWEI_HORZLINETHICKNESS = 0x120D;
constexpr TW_UINT16 TWEI_VERTLINEXCOORD = 0x120E;
constexpr TW_UINT16 TWEI_VERTLINEYCOORD = 0x120F;
constexpr TW_UINT16 TWEI_VERTLINELENGTH = 0x1210;
constexpr TW_UINT16 TWEI_VERTLINETHICKNESS = 0x1211;
constexpr TW_UINT16 TWEI_PATCHCODE = 0x1212;
constexpr TW_UINT16 TWEI_ENDORSEDTEXT = 0x1213;
constexpr TW_UINT16 TWEI_FORMCONFIDENCE = 0x1214;
constexpr TW_UINT16 TWEI_FORMTEMPLATEMATCH = 0x1215;
constexpr TW_UINT16 TWEI_FORMTEMPLATEPAGEMATCH = 0x1216;
constexpr TW_UINT16 TWEI_FORMHORZDOCOFFSET = 0x1217;
constexpr TW_UINT16 TWEI_FORMVERTDOCOFFSET = 0x1218;
constexpr TW_UINT16 TWEI_BARCODECOUNT = 0x1219;
constexpr TW_UINT16 TWEI_BARCODECONFIDENCE = 0x121A;
constexpr TW_UINT16 TWEI_BARCODEROTATION = 0x121B;
constexpr TW_UINT16 TWEI_BARCODETEXTLENGTH = 0x121C;
constexpr TW_UINT16 TWEI_DESHADECOUNT = 0x121D;
constexpr TW_UINT16 TWEI_DESHADEBLACKCOUNTOLD = 0x121E;
constexpr TW_UINT16 TWEI_DESHADEBLACKCOUNTNEW = 0x121F;
constexpr TW_UINT16 TWEI_DESHADEBLACKRLMIN = 0x1220;
constexpr TW_UINT16 TWEI_DESHADEBLACKRLMAX = 0x1221;
constexpr TW_UINT16 TWEI_DESHADEWHITECOUNTOLD = 0x1222;
constexpr TW_UINT16 TWEI_DESHADEWHITECOUNTNEW = 0x1223;
constexpr TW_UINT16 TWEI_DESHADEWHITERLMIN = 0x1224;
constexpr TW_UINT16 TWEI_DESHADEWHITERLAVE = 0x1225;
constexpr TW_UINT16 TWEI_DESHADEWHITERLMAX = 0x1226;
constexpr TW_UINT16 TWEI_BLACKSPECKLESREMOVED = 0x1227;
constexpr TW_UINT16 TWEI_WHITESPECKLESREMOVED = 0x1228;
constexpr TW_UINT16 TWEI_HORZLINECOUNT = 0x1229;
constexpr TW_UINT16 TWEI_VERTLINECOUNT = 0x122A;
constexpr TW_UINT16 TWEI_DESKEWSTATUS = 0x122B;
constexpr TW_UINT16 TWEI_SKEWORIGINALANGLE = 0x122C;
constexpr TW_UINT16 TWEI_SKEWFINALANGLE = 0x122D;
constexpr TW_UINT16 TWEI_SKEWCONFIDENCE = 0x122E;
constexpr TW_UINT16 TWEI_SKEWWINDOWX1 = 0x122F;
constexpr TW_UINT16 TWEI_SKEWWINDOWY1 = 0x1230;
constexpr TW_UINT16 TWEI_SKEWWINDOWX2 = 0x1231;
constexpr TW_UINT16 TWEI_SKEWWINDOWY2 = 0x1232;
constexpr TW_UINT16 TWEI_SKEWWINDOWX3 = 0x1233;
constexpr TW_UINT16 TWEI_SKEWWINDOWY3 = 0x1234;
constexpr TW_UINT16 TWEI_SKEWWINDOWX4 = 0x1235;
constexpr TW_UINT16 TWEI_SKEWWINDOWY4 = 0x1236;
constexpr TW_UINT16 TWEI_BOOKNAME = 0x1238;
constexpr TW_UINT16 TWEI_CHAPTERNUMBER = 0x1239;
constexpr TW_UINT16 TWEI_DOCUMENTNUMBER = 0x123A;
constexpr TW_UINT16 TWEI_PAGENUMBER = 0x123B;
constexpr TW_UINT16 TWEI_CAMERA = 0x123C;
constexpr TW_UINT16 TWEI_FRAMENUMBER = 0x123D;
constexpr TW_UINT16 TWEI_FRAME = 0x123E;
constexpr TW_UINT16 TWEI_PIXELFLAVOR = 0x123F;
constexpr TW_UINT16 TWEI_MAGDATA = 0x1243;
constexpr TW_UINT16 TWEI_MAGTYPE = 0x1244;
constexpr TW_UINT16 TWEI_PAGESIDE = 0x1245;
constexpr TW_UINT16 TWEI_FILESYSTEMSOURCE = 0x1246;

// TWEI_PATCHCODE
constexpr TW_UINT16 TWPCH_PATCH1 = 0;
constexpr TW_UINT16 TWPCH_PATCH2 = 1;
constexpr TW_UINT16 TWPCH_PATCH3 = 2;
constexpr TW_UINT16 TWPCH_PATCH4 = 3;
constexpr TW_UINT16 TWPCH_PATCH6 = 4;
constexpr TW_UINT16 TWPCH_PATCHT = 5;
// TWEI_BARCODEROTATION
constexpr TW_UINT16 TWBCOR_ROT0 = 0;
constexpr TW_UINT16 TWBCOR_ROT90 = 1;
constexpr TW_UINT16 TWBCOR_ROT180 = 2;
constexpr TW_UINT16 TWBCOR_ROT270 = 3;
constexpr TW_UINT16 TWBCOR_ROTX = 4;
// TWEI_DESKEWSTATUS
constexpr TW_UINT16 TWDSK_SUCCESS = 0;
constexpr TW_UINT16 TWDSK_REPORTONLY = 1;
constexpr TW_UINT16 TWDSK_FAIL = 2;
constexpr TW_UINT16 TWDSK_DISABLED = 3;
// TWEI_MAGTYPE
constexpr TW_UINT16 TWMD_MICR = 0;
constexpr TW_UINT16 TWMD_RAW = 1;
constexpr TW_UINT16 TWMD_INVALID = 2;
// TWEI_FILESYSTEMSOURCE
constexpr TW_UINT16 TWFY_CAMERA = 0;
constexpr TW_UINT16 TWFY_CAMERATOP = 1;
constexpr TW_UINT16 TWFY_CAMERABOTTOM = 2;
constexpr TW_UINT16 TWFY_CAMERAPREVIEW = 3;
constexpr TW_UINT16 TWFY_DOMAIN = 4;
constexpr TW_UINT16 TWFY_HOST = 5;
constexpr TW_UINT16 TWFY_DIRECTORY = 6;
constexpr TW_UINT16 TWFY_IMAGE = 7;
constexpr TW_UINT16 TWFY_UNKNOWN = 8;

// ---------------------------------------------------------------------------
// Helpers

constexpr double TwainFix32ToDouble(TW_FIX32 value) {
    return static_cast<double>(value.Whole) + static_cast<double>(value.Frac) / 65536.0;
}

// The 32-bit form of a TW_FIX32 as a one-value or range container stores it
// (Whole in the low half, Frac in the high half, as the record lies in
// memory).
constexpr TW_UINT32 TwainFix32Bits(TW_FIX32 value) {
    return static_cast<TW_UINT32>(static_cast<TW_UINT16>(value.Whole)) |
           (static_cast<TW_UINT32>(value.Frac) << 16);
}
constexpr TW_FIX32 TwainFix32FromBits(TW_UINT32 bits) {
    return TW_FIX32{static_cast<TW_INT16>(bits & 0xFFFF), static_cast<TW_UINT16>(bits >> 16)};
}
