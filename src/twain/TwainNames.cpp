#include "twain/TwainNames.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <span>
#include <vector>

#include "twain/Logger.h"
#include "twain/TwainMemory.h"

namespace {

struct Named {
    TW_UINT32 value;
    const char* name;
};

#define N(constant) Named{static_cast<TW_UINT32>(constant), #constant}

// Capabilities in ascending order of their ids.
constexpr Named kCapabilities[] = {
    N(CAP_XFERCOUNT), N(ICAP_COMPRESSION), N(ICAP_PIXELTYPE), N(ICAP_UNITS), N(ICAP_XFERMECH),
    N(CAP_AUTHOR), N(CAP_CAPTION), N(CAP_FEEDERENABLED), N(CAP_FEEDERLOADED), N(CAP_TIMEDATE),
    N(CAP_SUPPORTEDCAPS), N(CAP_EXTENDEDCAPS), N(CAP_AUTOFEED), N(CAP_CLEARPAGE), N(CAP_FEEDPAGE),
    N(CAP_REWINDPAGE), N(CAP_INDICATORS), N(CAP_SUPPORTEDCAPSEXT), N(CAP_PAPERDETECTABLE),
    N(CAP_UICONTROLLABLE), N(CAP_DEVICEONLINE), N(CAP_AUTOSCAN), N(CAP_THUMBNAILSENABLED), N(CAP_DUPLEX),
    N(CAP_DUPLEXENABLED), N(CAP_ENABLEDSUIONLY), N(CAP_CUSTOMDSDATA), N(CAP_ENDORSER), N(CAP_ALARMS),
    N(CAP_ALARMVOLUME), N(CAP_AUTOMATICCAPTURE), N(CAP_TIMEBEFOREFIRSTCAPTURE), N(CAP_TIMEBETWEENCAPTURES),
    N(CAP_CLEARBUFFERS), N(CAP_MAXBATCHBUFFERS), N(CAP_DEVICETIMEDATE), N(CAP_CAMERAPREVIEWUI),
    N(CAP_DEVICEEVENT), N(CAP_FEEDERALIGNMENT), N(CAP_FEEDERORDER), N(CAP_BATTERYMINUTES),
    N(CAP_BATTERYPERCENTAGE), N(CAP_CAMERASIDE), N(CAP_CAMERAENABLED), N(CAP_CAMERAORDER),
    N(CAP_FEEDERPOCKET), N(CAP_AUTOMATICSENSEMEDIUM), N(CAP_CUSTOMINTERFACEGUID), N(ICAP_IMAGEFILEFORMAT),
    N(ICAP_FRAMES), N(ICAP_XRESOLUTION), N(ICAP_YRESOLUTION), N(ICAP_BITDEPTH), N(ICAP_JPEGQUALITY),
    N(ICAP_SUPPORTEDEXTIMAGEINFO), N(ACAP_AUDIOFILEFORMAT), N(ACAP_XFERMECH),
};

constexpr Named kExtImageInfo[] = {
    N(TWEI_BARCODEX), N(TWEI_BARCODEY), N(TWEI_BARCODETEXT), N(TWEI_BARCODETYPE), N(TWEI_DESHADETOP),
    N(TWEI_DESHADELEFT), N(TWEI_DESHADEHEIGHT), N(TWEI_DESHADEWIDTH), N(TWEI_DESHADESIZE),
    N(TWEI_SPECKLESREMOVED), N(TWEI_HORZLINEXCOORD), N(TWEI_HORZLINEYCOORD), N(TWEI_HORZLINELENGTH),
    N(TWEI_HORZLINETHICKNESS), N(TWEI_VERTLINEXCOORD), N(TWEI_VERTLINEYCOORD), N(TWEI_VERTLINELENGTH),
    N(TWEI_VERTLINETHICKNESS), N(TWEI_PATCHCODE), N(TWEI_ENDORSEDTEXT), N(TWEI_FORMCONFIDENCE),
    N(TWEI_FORMTEMPLATEMATCH), N(TWEI_FORMTEMPLATEPAGEMATCH), N(TWEI_FORMHORZDOCOFFSET),
    N(TWEI_FORMVERTDOCOFFSET), N(TWEI_BARCODECOUNT), N(TWEI_BARCODECONFIDENCE), N(TWEI_BARCODEROTATION),
    N(TWEI_BARCODETEXTLENGTH), N(TWEI_DESHADECOUNT), N(TWEI_DESHADEBLACKCOUNTOLD),
    N(TWEI_DESHADEBLACKCOUNTNEW), N(TWEI_DESHADEBLACKRLMIN), N(TWEI_DESHADEBLACKRLMAX),
    N(TWEI_DESHADEWHITECOUNTOLD), N(TWEI_DESHADEWHITECOUNTNEW), N(TWEI_DESHADEWHITERLMIN),
    N(TWEI_DESHADEWHITERLAVE), N(TWEI_DESHADEWHITERLMAX), N(TWEI_BLACKSPECKLESREMOVED),
    N(TWEI_WHITESPECKLESREMOVED), N(TWEI_HORZLINECOUNT), N(TWEI_VERTLINECOUNT), N(TWEI_DESKEWSTATUS),
    N(TWEI_SKEWORIGINALANGLE), N(TWEI_SKEWFINALANGLE), N(TWEI_SKEWCONFIDENCE), N(TWEI_SKEWWINDOWX1),
    N(TWEI_SKEWWINDOWY1), N(TWEI_SKEWWINDOWX2), N(TWEI_SKEWWINDOWY2), N(TWEI_SKEWWINDOWX3),
    N(TWEI_SKEWWINDOWY3), N(TWEI_SKEWWINDOWX4), N(TWEI_SKEWWINDOWY4), N(TWEI_BOOKNAME),
    N(TWEI_CHAPTERNUMBER), N(TWEI_DOCUMENTNUMBER), N(TWEI_PAGENUMBER), N(TWEI_CAMERA), N(TWEI_FRAMENUMBER),
    N(TWEI_FRAME), N(TWEI_PIXELFLAVOR), N(TWEI_MAGDATA), N(TWEI_MAGTYPE), N(TWEI_PAGESIDE),
};

constexpr Named kCompression[] = {
    N(TWCP_NONE), N(TWCP_PACKBITS), N(TWCP_GROUP31D), N(TWCP_GROUP31DEOL), N(TWCP_GROUP32D),
    N(TWCP_GROUP4), N(TWCP_JPEG), N(TWCP_LZW), N(TWCP_JBIG), N(TWCP_PNG), N(TWCP_RLE4), N(TWCP_RLE8),
    N(TWCP_BITFIELDS),
};
constexpr Named kPixelType[] = {
    N(TWPT_BW), N(TWPT_GRAY), N(TWPT_RGB), N(TWPT_PALETTE), N(TWPT_CMY), N(TWPT_CMYK), N(TWPT_YUV),
    N(TWPT_YUVK), N(TWPT_CIEXYZ), N(TWPT_LAB), N(TWPT_SRGB), N(TWPT_SCRGB), N(TWPT_BGR), N(TWPT_CIELAB),
    N(TWPT_CIELUV), N(TWPT_YCBCR), N(TWPT_INFRARED),
};
constexpr Named kUnits[] = {
    N(TWUN_INCHES), N(TWUN_CENTIMETERS), N(TWUN_PICAS), N(TWUN_POINTS), N(TWUN_TWIPS), N(TWUN_PIXELS),
};
constexpr Named kXferMech[] = {N(TWSX_NATIVE), N(TWSX_FILE), N(TWSX_MEMORY), N(TWSX_FILE2)};
constexpr Named kFileFormat[] = {
    N(TWFF_TIFF), N(TWFF_PICT), N(TWFF_BMP), N(TWFF_XBM), N(TWFF_JFIF), N(TWFF_FPX), N(TWFF_TIFFMULTI),
    N(TWFF_PNG), N(TWFF_SPIFF), N(TWFF_EXIF), N(TWFF_PDF), N(TWFF_JPEG2000), N(TWFF_JPN), N(TWFF_JPX),
    N(TWFF_DEJAVU), N(TWFF_PDFA), N(TWFF_PDFA2),
};
// The named JPEG quality levels, as 16-bit values.
constexpr Named kJpegQuality[] = {
    {static_cast<TW_UINT16>(TWJQ_UNKNOWN), "TWJQ_UNKNOWN"},
    {static_cast<TW_UINT16>(TWJQ_LOW), "TWJQ_LOW"},
    {static_cast<TW_UINT16>(TWJQ_MEDIUM), "TWJQ_MEDIUM"},
    {static_cast<TW_UINT16>(TWJQ_HIGH), "TWJQ_HIGH"},
};
constexpr Named kPixelFlavor[] = {N(TWPF_CHOCOLATE), N(TWPF_VANILLA)};
constexpr Named kPatchCode[] = {
    N(TWPCH_PATCH1), N(TWPCH_PATCH2), N(TWPCH_PATCH3), N(TWPCH_PATCH4), N(TWPCH_PATCH6), N(TWPCH_PATCHT),
};
constexpr Named kBarcodeRotation[] = {
    N(TWBCOR_ROT0), N(TWBCOR_ROT90), N(TWBCOR_ROT180), N(TWBCOR_ROT270), N(TWBCOR_ROTX),
};
constexpr Named kDeskewStatus[] = {N(TWDSK_SUCCESS), N(TWDSK_REPORTONLY), N(TWDSK_FAIL), N(TWDSK_DISABLED)};
constexpr Named kMagType[] = {N(TWMD_MICR), N(TWMD_RAW), N(TWMD_INVALID)};
constexpr Named kFileSystemSource[] = {
    N(TWFY_CAMERA), N(TWFY_CAMERATOP), N(TWFY_CAMERABOTTOM), N(TWFY_CAMERAPREVIEW), N(TWFY_DOMAIN),
    N(TWFY_HOST), N(TWFY_DIRECTORY), N(TWFY_IMAGE), N(TWFY_UNKNOWN),
};

constexpr Named kDats[] = {
    N(DAT_NULL), N(DAT_CAPABILITY), N(DAT_EVENT), N(DAT_IDENTITY), N(DAT_PARENT), N(DAT_PENDINGXFERS),
    N(DAT_SETUPMEMXFER), N(DAT_SETUPFILEXFER), N(DAT_STATUS), N(DAT_USERINTERFACE), N(DAT_TWUNKIDENTITY),
    N(DAT_CALLBACK), N(DAT_CALLBACK2), N(DAT_IMAGEINFO), N(DAT_IMAGEMEMXFER), N(DAT_IMAGENATIVEXFER),
    N(DAT_IMAGEFILEXFER), N(DAT_EXTIMAGEINFO), N(DAT_ENTRYPOINT), N(DAT_CUSTOMBASE),
};
constexpr Named kMsgs[] = {
    N(MSG_NULL), N(MSG_GET), N(MSG_GETCURRENT), N(MSG_GETDEFAULT), N(MSG_GETFIRST), N(MSG_GETNEXT),
    N(MSG_SET), N(MSG_RESET), N(MSG_XFERREADY), N(MSG_CLOSEDSREQ), N(MSG_CLOSEDSOK), N(MSG_DEVICEEVENT),
    N(MSG_CHECKSTATUS), N(MSG_OPENDSM), N(MSG_CLOSEDSM), N(MSG_OPENDS), N(MSG_CLOSEDS), N(MSG_USERSELECT),
    N(MSG_DISABLEDS), N(MSG_ENABLEDS), N(MSG_ENABLEDSUIONLY), N(MSG_PROCESSEVENT), N(MSG_ENDXFER),
    N(MSG_REGISTER_CALLBACK), N(MSG_INVOKE_CALLBACK), N(MSG_CUSTOMBASE),
};
constexpr Named kReturnCodes[] = {
    N(TWRC_SUCCESS), N(TWRC_FAILURE), N(TWRC_CHECKSTATUS), N(TWRC_CANCEL), N(TWRC_DSEVENT),
    N(TWRC_NOTDSEVENT), N(TWRC_XFERDONE), N(TWRC_ENDOFLIST), N(TWRC_INFONOTSUPPORTED),
    N(TWRC_DATANOTAVAILABLE),
};
constexpr Named kConditionCodes[] = {
    N(TWCC_SUCCESS), N(TWCC_BUMMER), N(TWCC_LOWMEMORY), N(TWCC_NODS), N(TWCC_MAXCONNECTIONS),
    N(TWCC_OPERATIONERROR), N(TWCC_BADCAP), N(TWCC_BADPROTOCOL), N(TWCC_BADVALUE), N(TWCC_SEQERROR),
    N(TWCC_BADDEST), N(TWCC_CAPUNSUPPORTED), N(TWCC_CAPBADOPERATION), N(TWCC_CAPSEQERROR), N(TWCC_DENIED),
    N(TWCC_FILEEXISTS), N(TWCC_FILENOTFOUND), N(TWCC_NOTEMPTY), N(TWCC_PAPERJAM), N(TWCC_PAPERDOUBLEFEED),
    N(TWCC_FILEWRITEERROR), N(TWCC_CHECKDEVICEONLINE), N(TWCC_DAMAGEDCORNER), N(TWCC_DOCTOOLIGHT),
    N(TWCC_DOCTOODARK),
};

#undef N

using Table = std::span<const Named>;

const char* Find(Table table, TW_UINT32 value) {
    for (const Named& n : table)
        if (n.value == value) return n.name;
    return nullptr;
}

std::optional<TW_UINT32> FindByName(Table table, std::string_view name) {
    for (const Named& n : table)
        if (name == n.name) return n.value;
    return std::nullopt;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

// The value names of a capability. `known` is false for capabilities whose
// values are not named here at all.
struct Family {
    bool known = false;
    Table names;
};

Family ValueFamily(TW_UINT16 capability) {
    switch (capability) {
    case ICAP_COMPRESSION: return {true, kCompression};
    case ICAP_PIXELTYPE: return {true, kPixelType};
    case ICAP_UNITS: return {true, kUnits};
    case ICAP_XFERMECH: return {true, kXferMech};
    case ICAP_IMAGEFILEFORMAT: return {true, kFileFormat};
    case ICAP_JPEGQUALITY: return {true, kJpegQuality};
    // Capabilities with named values of which none is known here: every value
    // prints as its number.
    case CAP_DUPLEX:
    case CAP_ALARMS:
    case CAP_CLEARBUFFERS:
    case CAP_DEVICEEVENT:
    case CAP_FEEDERALIGNMENT:
    case CAP_FEEDERORDER:
    case CAP_CAMERASIDE:
    case CAP_FEEDERPOCKET: return {true, {}};
    default: return {};
    }
}

bool IsTextCapability(TW_UINT16 capability) {
    return capability == CAP_AUTHOR || capability == CAP_CAPTION || capability == CAP_TIMEDATE ||
           capability == CAP_CUSTOMINTERFACEGUID;
}

// Appends to `out` without letting it grow past the 1024-byte text buffer the
// entry text fills (1023 characters and the terminator).
void AppendCapped(std::string& out, const std::string& piece) {
    constexpr std::size_t kLimit = 1023;
    if (out.size() >= kLimit) return;
    out.append(piece, 0, kLimit - out.size());
}

double Fix32Value(const std::uint8_t* p) {
    TW_FIX32 v;
    std::memcpy(&v, p, sizeof v);
    return TwainFix32ToDouble(v);
}

}  // namespace

void logAppMessage(const char* format, ...) {
    char message[200];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    CLogger::Instance().Info("%s", message);
}

std::string capabilityName(TW_UINT16 capability) {
    if (const char* name = Find(kCapabilities, capability)) return name;
    if (capability == CAP_CUSTOMBASE) return "CAP_CUSTOMBASE";
    if (capability > CAP_CUSTOMBASE) return Format("Custom CAP 0x:%04X", capability);
    return Format("Unknown CAP 0x:%04X", capability);
}

std::string extImageInfoName(TW_UINT16 id) {
    if (const char* name = Find(kExtImageInfo, id)) return name;
    return Format("ExtImageInfo ID 0x:%04X", id);
}

std::string capabilityValueName(TW_UINT16 capability, TW_UINT32 value) {
    switch (capability) {
    case CAP_SUPPORTEDCAPS:
    case CAP_EXTENDEDCAPS: return capabilityName(static_cast<TW_UINT16>(value));
    case ICAP_BITDEPTH: return Format("%d", static_cast<int>(value));
    case ICAP_SUPPORTEDEXTIMAGEINFO: return extImageInfoName(static_cast<TW_UINT16>(value));
    case ICAP_JPEGQUALITY: {
        const auto quality = static_cast<TW_INT16>(value & 0xFFFF);
        if (const char* name = Find(kJpegQuality, static_cast<TW_UINT16>(quality))) return name;
        return Format("%d", quality);
    }
    default: break;
    }
    if (IsTextCapability(capability)) return Format("0x%04X", value);
    const Family family = ValueFamily(capability);
    if (!family.known) return Format("Un-recognized Capability 0x%04X", capability);
    if (const char* name = Find(family.names, value)) return name;
    return Format("0x%04X", value);
}

std::string capabilityValueName(TW_UINT16 capability, const char* text) {
    if (!IsTextCapability(capability)) return Format("Un-recognized Capability 0x%04X", capability);
    return Format("%s", text ? text : "");
}

std::optional<std::string> extImageInfoValueName(TW_UINT16 id, TW_UINT32 value) {
    auto named = [value](Table table, const char* unknown) -> std::string {
        if (const char* name = Find(table, value)) return name;
        return Format(unknown, value);
    };
    switch (id) {
    // Barcode types and page sides have named values, none of which is known
    // here: they print as numbers, as any value without a name does.
    case TWEI_BARCODETYPE:
    case TWEI_PAGESIDE: return Format("0x%04X", value);
    case TWEI_PIXELFLAVOR: return named(kPixelFlavor, "0x%04X");
    case TWEI_PATCHCODE: return named(kPatchCode, "Unknown TWPCH 0x:%04X");
    case TWEI_BARCODEROTATION: return named(kBarcodeRotation, "Unknown TWBCOR 0x:%04X");
    case TWEI_DESKEWSTATUS: return named(kDeskewStatus, "Unknown TWDSK 0x:%04X");
    case TWEI_MAGTYPE: return named(kMagType, "Unknown TWMD 0x:%04X");
    case TWEI_FILESYSTEMSOURCE: return named(kFileSystemSource, "Un-recognized FileType 0x%04X");
    default: return std::nullopt;
    }
}

std::string infoItemText(const TW_INFO& entry) {
    if (entry.ReturnCode != TWRC_SUCCESS) {
        if (entry.ReturnCode == TWRC_INFONOTSUPPORTED) return "Unsupporetd";
        if (entry.ReturnCode == TWRC_DATANOTAVAILABLE) return "Data Not Available";
        return Format("unknown failure %d", entry.ReturnCode);
    }

    const TW_HANDLE handle = reinterpret_cast<TW_HANDLE>(entry.Item);
    // The bytes of the values: the Item field itself, or the handle's block
    // (never read past its end).
    struct Values {
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
        bool locked = false;
    };
    auto fromHandle = [handle]() {
        Values v;
        v.data = static_cast<const std::uint8_t*>(TwainMemLock(handle));
        if (v.data) {
            v.size = TwainMemSize(handle);
            v.locked = true;
        }
        return v;
    };
    auto release = [handle](const Values& v) {
        if (v.locked) TwainMemUnlock(handle);
    };

    const TW_UINT16 type = entry.ItemType;
    if (type <= TWTY_BOOL) {
        const std::size_t itemSize = twainItemSize(type);
        const std::size_t total = itemSize * entry.NumItems;
        Values v;
        if (total > kTwainInfoInlineBytes) {
            v = fromHandle();
        } else {
            v.data = reinterpret_cast<const std::uint8_t*>(&entry.Item);
            v.size = sizeof entry.Item;
        }
        std::string out;
        for (std::size_t i = 0; i < entry.NumItems && (i + 1) * itemSize <= v.size && out.size() < 1023; ++i) {
            const std::uint8_t* p = v.data + i * itemSize;
            switch (type) {
            case TWTY_INT8: AppendCapped(out, Format("%d ", static_cast<std::int8_t>(*p))); break;
            case TWTY_INT16: {
                std::int16_t x;
                std::memcpy(&x, p, 2);
                AppendCapped(out, Format("%d ", x));
                break;
            }
            case TWTY_INT32: {
                std::int32_t x;
                std::memcpy(&x, p, 4);
                AppendCapped(out, Format("%d ", x));
                break;
            }
            case TWTY_UINT8: AppendCapped(out, Format("%u ", *p)); break;
            case TWTY_UINT16:
            case TWTY_UINT32: {
                TW_UINT32 x = 0;
                if (type == TWTY_UINT16) {
                    std::uint16_t y;
                    std::memcpy(&y, p, 2);
                    x = y;
                } else {
                    std::memcpy(&x, p, 4);
                }
                if (auto name = extImageInfoValueName(entry.InfoID, x))
                    AppendCapped(out, *name + " ");
                else
                    AppendCapped(out, Format("%u ", x));
                break;
            }
            case TWTY_BOOL: {
                std::uint16_t x;
                std::memcpy(&x, p, 2);
                AppendCapped(out, x ? "True " : "False ");
                break;
            }
            default: break;
            }
        }
        release(v);
        return out;
    }
    if (type == TWTY_FRAME) {
        const Values v = fromHandle();
        std::string out;
        if (v.data && v.size >= sizeof(TW_FRAME))
            out = Format("%0.2f  %.2f  %.2f  %.2f", Fix32Value(v.data), Fix32Value(v.data + 4),
                         Fix32Value(v.data + 8), Fix32Value(v.data + 12));
        release(v);
        return out;
    }
    if (type >= TWTY_STR32 && type <= TWTY_STR1024) {
        const Values v = fromHandle();
        std::string out;
        if (v.data) {
            const std::size_t limit = std::min(twainItemSize(type), v.size);
            const auto* text = reinterpret_cast<const char*>(v.data);
            out.assign(text, strnlen(text, limit));
            if (out.size() > 1023) out.resize(1023);
        }
        release(v);
        return out;
    }
    if (type == TWTY_HANDLE) return Format("Handle 0x:%8" PRIXPTR, entry.Item);
    return Format("Unsupporetd Type 0x:%04X", type);
}

std::optional<TW_UINT16> capabilityIdByName(std::string_view name) {
    if (name == "CAP_CUSTOMBASE") return CAP_CUSTOMBASE;
    if (auto v = FindByName(kCapabilities, name)) return static_cast<TW_UINT16>(*v);
    return std::nullopt;
}

std::optional<TW_UINT16> extImageInfoIdByName(std::string_view name) {
    if (auto v = FindByName(kExtImageInfo, name)) return static_cast<TW_UINT16>(*v);
    return std::nullopt;
}

std::optional<TW_UINT32> capabilityValueByName(TW_UINT16 capability, std::string_view name) {
    return FindByName(ValueFamily(capability).names, name);
}

std::string twainDgName(TW_UINT32 dg) {
    switch (dg) {
    case DG_CONTROL: return "DG_CONTROL";
    case DG_IMAGE: return "DG_IMAGE";
    case DG_AUDIO: return "DG_AUDIO";
    default: return Format("DG_0x%04lx", static_cast<unsigned long>(dg));
    }
}

std::string twainDatName(TW_UINT16 dat) {
    if (const char* name = Find(kDats, dat)) return name;
    return Format("DAT_0x%04x", dat);
}

std::string twainMsgName(TW_UINT16 msg) {
    if (const char* name = Find(kMsgs, msg)) return name;
    return Format("MSG_0x%04x", msg);
}

std::string twainCapName(TW_UINT16 capability) {
    if (const char* name = Find(kCapabilities, capability)) return name;
    if (capability == CAP_CUSTOMBASE) return "CAP_CUSTOMBASE";
    return Format("CAP_0x%04x", capability);
}

std::string twainRcName(TW_UINT16 rc) {
    if (const char* name = Find(kReturnCodes, rc)) return name;
    return Format("TWRC_0x%04x", rc);
}

std::string twainCcName(TW_UINT16 cc) {
    if (const char* name = Find(kConditionCodes, cc)) return name;
    return Format("TWCC_0x%04x", cc);
}

std::string twainConTypeName(TW_UINT16 conType) {
    switch (conType) {
    case TWON_ARRAY: return " TWON_ARRAY";
    case TWON_ENUMERATION: return " TWON_ENUMERATION";
    case TWON_ONEVALUE: return " TWON_ONEVALUE  ";
    case TWON_RANGE: return " TWON_RANGE";
    case TWON_DONTCARE16: return " TWON_DONTCARE16";
    default: return Format(" TWON_0x%04x", conType);
    }
}
