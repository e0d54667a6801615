// Names of TWAIN numbers: capability, extended-image-information and value
// names, the text of an information entry, and the manager's trace names.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "twain/TwainMemory.h"
#include "twain/TwainNames.h"

namespace {

// The capabilities whose names the diagnostics know, in the order of their
// ids (145 names).
const std::vector<std::string> kCapabilityNames = {
    "CAP_XFERCOUNT", "ICAP_COMPRESSION", "ICAP_PIXELTYPE", "ICAP_UNITS", "ICAP_XFERMECH", "CAP_AUTHOR",
    "CAP_CAPTION", "CAP_FEEDERENABLED", "CAP_FEEDERLOADED", "CAP_TIMEDATE", "CAP_SUPPORTEDCAPS",
    "CAP_EXTENDEDCAPS", "CAP_AUTOFEED", "CAP_CLEARPAGE", "CAP_FEEDPAGE", "CAP_REWINDPAGE", "CAP_INDICATORS",
    "CAP_SUPPORTEDCAPSEXT", "CAP_PAPERDETECTABLE", "CAP_UICONTROLLABLE", "CAP_DEVICEONLINE", "CAP_AUTOSCAN",
    "CAP_THUMBNAILSENABLED", "CAP_DUPLEX", "CAP_DUPLEXENABLED", "CAP_ENABLEDSUIONLY", "CAP_CUSTOMDSDATA",
    "CAP_ENDORSER", "CAP_JOBCONTROL", "CAP_ALARMS", "CAP_ALARMVOLUME", "CAP_AUTOMATICCAPTURE",
    "CAP_TIMEBEFOREFIRSTCAPTURE", "CAP_TIMEBETWEENCAPTURES", "CAP_CLEARBUFFERS", "CAP_MAXBATCHBUFFERS",
    "CAP_DEVICETIMEDATE", "CAP_POWERSUPPLY", "CAP_CAMERAPREVIEWUI", "CAP_DEVICEEVENT", "CAP_SERIALNUMBER",
    "CAP_PRINTER", "CAP_PRINTERENABLED", "CAP_PRINTERINDEX", "CAP_PRINTERMODE", "CAP_PRINTERSTRING",
    "CAP_PRINTERSUFFIX", "CAP_LANGUAGE", "CAP_FEEDERALIGNMENT", "CAP_FEEDERORDER", "CAP_REACQUIREALLOWED",
    "CAP_BATTERYMINUTES", "CAP_BATTERYPERCENTAGE", "CAP_CAMERASIDE", "CAP_SEGMENTED", "CAP_CAMERAENABLED",
    "CAP_CAMERAORDER", "CAP_MICRENABLED", "CAP_FEEDERPREP", "CAP_FEEDERPOCKET", "CAP_AUTOMATICSENSEMEDIUM",
    "CAP_CUSTOMINTERFACEGUID", "ICAP_AUTOBRIGHT", "ICAP_BRIGHTNESS", "ICAP_CONTRAST", "ICAP_CUSTHALFTONE",
    "ICAP_EXPOSURETIME", "ICAP_FILTER", "ICAP_FLASHUSED", "ICAP_GAMMA", "ICAP_HALFTONES", "ICAP_HIGHLIGHT",
    "ICAP_IMAGEFILEFORMAT", "ICAP_LAMPSTATE", "ICAP_LIGHTSOURCE", "ICAP_ORIENTATION", "ICAP_PHYSICALWIDTH",
    "ICAP_PHYSICALHEIGHT", "ICAP_SHADOW", "ICAP_FRAMES", "ICAP_XNATIVERESOLUTION", "ICAP_YNATIVERESOLUTION",
    "ICAP_XRESOLUTION", "ICAP_YRESOLUTION", "ICAP_MAXFRAMES", "ICAP_TILES", "ICAP_BITORDER",
    "ICAP_CCITTKFACTOR", "ICAP_LIGHTPATH", "ICAP_PIXELFLAVOR", "ICAP_PLANARCHUNKY", "ICAP_ROTATION",
    "ICAP_SUPPORTEDSIZES", "ICAP_THRESHOLD", "ICAP_XSCALING", "ICAP_YSCALING", "ICAP_BITORDERCODES",
    "ICAP_PIXELFLAVORCODES", "ICAP_JPEGPIXELTYPE", "ICAP_TIMEFILL", "ICAP_BITDEPTH", "ICAP_BITDEPTHREDUCTION",
    "ICAP_UNDEFINEDIMAGESIZE", "ICAP_IMAGEDATASET", "ICAP_EXTIMAGEINFO", "ICAP_MINIMUMHEIGHT",
    "ICAP_MINIMUMWIDTH", "ICAP_AUTODISCARDBLANKPAGES", "ICAP_FLIPROTATION", "ICAP_BARCODEDETECTIONENABLED",
    "ICAP_SUPPORTEDBARCODETYPES", "ICAP_BARCODEMAXSEARCHPRIORITIES", "ICAP_BARCODESEARCHPRIORITIES",
    "ICAP_BARCODESEARCHMODE", "ICAP_BARCODEMAXRETRIES", "ICAP_BARCODETIMEOUT", "ICAP_ZOOMFACTOR",
    "ICAP_PATCHCODEDETECTIONENABLED", "ICAP_SUPPORTEDPATCHCODETYPES", "ICAP_PATCHCODEMAXSEARCHPRIORITIES",
    "ICAP_PATCHCODESEARCHPRIORITIES", "ICAP_PATCHCODESEARCHMODE", "ICAP_PATCHCODEMAXRETRIES",
    "ICAP_PATCHCODETIMEOUT", "ICAP_FLASHUSED2", "ICAP_IMAGEFILTER", "ICAP_NOISEFILTER", "ICAP_OVERSCAN",
    "ICAP_AUTOMATICBORDERDETECTION", "ICAP_AUTOMATICDESKEW", "ICAP_AUTOMATICROTATE", "ICAP_JPEGQUALITY",
    "ICAP_FEEDERTYPE", "ICAP_ICCPROFILE", "ICAP_AUTOSIZE", "ICAP_AUTOMATICCROPUSESFRAME",
    "ICAP_AUTOMATICLENGTHDETECTION", "ICAP_AUTOMATICCOLORENABLED", "ICAP_AUTOMATICCOLORNONCOLORPIXELTYPE",
    "ICAP_COLORMANAGEMENTENABLED", "ICAP_IMAGEMERGE", "ICAP_IMAGEMERGEHEIGHTTHRESHOLD",
    "ICAP_SUPPORTEDEXTIMAGEINFO", "ACAP_AUDIOFILEFORMAT", "ACAP_XFERMECH",
};

struct Known {
    const char* name;
    TW_UINT16 value;
};
#define K(constant) Known{#constant, constant}

// The capabilities whose ids this program knows (the others print through
// the fallback text).
const Known kKnownCapabilities[] = {
    K(CAP_XFERCOUNT), K(ICAP_COMPRESSION), K(ICAP_PIXELTYPE), K(ICAP_UNITS), K(ICAP_XFERMECH), K(CAP_AUTHOR),
    K(CAP_CAPTION), K(CAP_FEEDERENABLED), K(CAP_FEEDERLOADED), K(CAP_TIMEDATE), K(CAP_SUPPORTEDCAPS),
    K(CAP_EXTENDEDCAPS), K(CAP_AUTOFEED), K(CAP_CLEARPAGE), K(CAP_FEEDPAGE), K(CAP_REWINDPAGE),
    K(CAP_INDICATORS), K(CAP_SUPPORTEDCAPSEXT), K(CAP_PAPERDETECTABLE), K(CAP_UICONTROLLABLE),
    K(CAP_DEVICEONLINE), K(CAP_AUTOSCAN), K(CAP_THUMBNAILSENABLED), K(CAP_DUPLEX), K(CAP_DUPLEXENABLED),
    K(CAP_ENABLEDSUIONLY), K(CAP_CUSTOMDSDATA), K(CAP_ENDORSER), K(CAP_ALARMS), K(CAP_ALARMVOLUME),
    K(CAP_AUTOMATICCAPTURE), K(CAP_TIMEBEFOREFIRSTCAPTURE), K(CAP_TIMEBETWEENCAPTURES), K(CAP_CLEARBUFFERS),
    K(CAP_MAXBATCHBUFFERS), K(CAP_DEVICETIMEDATE), K(CAP_CAMERAPREVIEWUI), K(CAP_DEVICEEVENT),
    K(CAP_FEEDERALIGNMENT), K(CAP_FEEDERORDER), K(CAP_BATTERYMINUTES), K(CAP_BATTERYPERCENTAGE),
    K(CAP_CAMERASIDE), K(CAP_CAMERAENABLED), K(CAP_CAMERAORDER), K(CAP_FEEDERPOCKET),
    K(CAP_AUTOMATICSENSEMEDIUM), K(CAP_CUSTOMINTERFACEGUID), K(ICAP_IMAGEFILEFORMAT), K(ICAP_FRAMES),
    K(ICAP_XRESOLUTION), K(ICAP_YRESOLUTION), K(ICAP_BITDEPTH), K(ICAP_JPEGQUALITY),
    K(ICAP_SUPPORTEDEXTIMAGEINFO), K(ACAP_AUDIOFILEFORMAT), K(ACAP_XFERMECH),
};

TEST(TwainNames, CapabilityNamesMapToTheirIdsAndBack) {
    ASSERT_EQ(kCapabilityNames.size(), 145u);
    EXPECT_EQ(std::set<std::string>(kCapabilityNames.begin(), kCapabilityNames.end()).size(), 145u);
    std::set<std::string> known;
    for (const Known& k : kKnownCapabilities) {
        known.insert(k.name);
        EXPECT_EQ(capabilityName(k.value), k.name);
        EXPECT_EQ(capabilityIdByName(k.name), k.value) << k.name;
    }
    EXPECT_EQ(known.size(), 57u);
    // Ids rise in the order of the list; a known name without an id, or an
    // id out of order, is a typo.
    int lastId = -1;
    for (const std::string& name : kCapabilityNames) {
        const auto id = capabilityIdByName(name);
        if (known.count(name) == 0) {
            EXPECT_FALSE(id.has_value()) << name << " has an id this program does not know";
            continue;
        }
        ASSERT_TRUE(id.has_value()) << name;
        EXPECT_GT(*id, lastId) << name;
        lastId = *id;
    }
}

TEST(TwainNames, CapabilityFallbacks) {
    EXPECT_EQ(capabilityName(0x8001), "Custom CAP 0x:8001");
    EXPECT_EQ(capabilityName(0x7FFF), "Unknown CAP 0x:7FFF");
    EXPECT_EQ(capabilityName(0x8000), "CAP_CUSTOMBASE");
    EXPECT_EQ(capabilityName(0x0000), "Unknown CAP 0x:0000");
    EXPECT_EQ(capabilityIdByName("CAP_CUSTOMBASE"), 0x8000);
    EXPECT_FALSE(capabilityIdByName("ICAP_NOTHING").has_value());
}

// The extended-image-information names in the order of their ids: from
// 0x1200 upwards, without 0x1237 and 0x1240 to 0x1242.
const std::vector<std::string> kExtImageInfoNames = {
    "TWEI_BARCODEX", "TWEI_BARCODEY", "TWEI_BARCODETEXT", "TWEI_BARCODETYPE", "TWEI_DESHADETOP",
    "TWEI_DESHADELEFT", "TWEI_DESHADEHEIGHT", "TWEI_DESHADEWIDTH", "TWEI_DESHADESIZE", "TWEI_SPECKLESREMOVED",
    "TWEI_HORZLINEXCOORD", "TWEI_HORZLINEYCOORD", "TWEI_HORZLINELENGTH", "TWEI_HORZLINETHICKNESS",
    "TWEI_VERTLINEXCOORD", "TWEI_VERTLINEYCOORD", "TWEI_VERTLINELENGTH", "TWEI_VERTLINETHICKNESS",
    "TWEI_PATCHCODE", "TWEI_ENDORSEDTEXT", "TWEI_FORMCONFIDENCE", "TWEI_FORMTEMPLATEMATCH",
    "TWEI_FORMTEMPLATEPAGEMATCH", "TWEI_FORMHORZDOCOFFSET", "TWEI_FORMVERTDOCOFFSET", "TWEI_BARCODECOUNT",
    "TWEI_BARCODECONFIDENCE", "TWEI_BARCODEROTATION", "TWEI_BARCODETEXTLENGTH", "TWEI_DESHADECOUNT",
    "TWEI_DESHADEBLACKCOUNTOLD", "TWEI_DESHADEBLACKCOUNTNEW", "TWEI_DESHADEBLACKRLMIN",
    "TWEI_DESHADEBLACKRLMAX", "TWEI_DESHADEWHITECOUNTOLD", "TWEI_DESHADEWHITECOUNTNEW",
    "TWEI_DESHADEWHITERLMIN", "TWEI_DESHADEWHITERLAVE", "TWEI_DESHADEWHITERLMAX", "TWEI_BLACKSPECKLESREMOVED",
    "TWEI_WHITESPECKLESREMOVED", "TWEI_HORZLINECOUNT", "TWEI_VERTLINECOUNT", "TWEI_DESKEWSTATUS",
    "TWEI_SKEWORIGINALANGLE", "TWEI_SKEWFINALANGLE", "TWEI_SKEWCONFIDENCE", "TWEI_SKEWWINDOWX1",
    "TWEI_SKEWWINDOWY1", "TWEI_SKEWWINDOWX2", "TWEI_SKEWWINDOWY2", "TWEI_SKEWWINDOWX3", "TWEI_SKEWWINDOWY3",
    "TWEI_SKEWWINDOWX4", "TWEI_SKEWWINDOWY4", "TWEI_BOOKNAME", "TWEI_CHAPTERNUMBER", "TWEI_DOCUMENTNUMBER",
    "TWEI_PAGENUMBER", "TWEI_CAMERA", "TWEI_FRAMENUMBER", "TWEI_FRAME", "TWEI_PIXELFLAVOR", "TWEI_MAGDATA",
    "TWEI_MAGTYPE", "TWEI_PAGESIDE",
};

TEST(TwainNames, ExtImageInfoNamesFollowTheirIds) {
    ASSERT_EQ(kExtImageInfoNames.size(), 66u);
    TW_UINT16 id = 0x1200;
    for (const std::string& name : kExtImageInfoNames) {
        if (id == 0x1237) ++id;
        if (id == 0x1240) id = 0x1243;
        EXPECT_EQ(extImageInfoName(id), name);
        EXPECT_EQ(extImageInfoIdByName(name), id) << name;
        ++id;
    }
    EXPECT_EQ(id, 0x1246);
    // The spot checks of the header constants.
    EXPECT_EQ(TWEI_BARCODECOUNT, 0x1219);
    EXPECT_EQ(TWEI_BOOKNAME, 0x1238);
    EXPECT_EQ(TWEI_MAGDATA, 0x1243);
    for (TW_UINT16 gap : {0x1237, 0x1240, 0x1241, 0x1242, 0x1246, 0x11FF}) {
        char expected[40];
        std::snprintf(expected, sizeof expected, "ExtImageInfo ID 0x:%04X", gap);
        EXPECT_EQ(extImageInfoName(gap), expected);
    }
}

struct Family {
    TW_UINT16 capability;
    std::vector<Known> values;
};

TEST(TwainNames, CapabilityValueFamiliesMapBothWays) {
    const Family families[] = {
        {ICAP_COMPRESSION, {K(TWCP_NONE), K(TWCP_PACKBITS), K(TWCP_GROUP31D), K(TWCP_GROUP31DEOL),
                            K(TWCP_GROUP32D), K(TWCP_GROUP4), K(TWCP_JPEG), K(TWCP_LZW), K(TWCP_JBIG),
                            K(TWCP_PNG), K(TWCP_RLE4), K(TWCP_RLE8), K(TWCP_BITFIELDS)}},
        {ICAP_PIXELTYPE, {K(TWPT_BW), K(TWPT_GRAY), K(TWPT_RGB), K(TWPT_PALETTE), K(TWPT_CMY), K(TWPT_CMYK),
                          K(TWPT_YUV), K(TWPT_YUVK), K(TWPT_CIEXYZ), K(TWPT_LAB), K(TWPT_SRGB), K(TWPT_SCRGB),
                          K(TWPT_BGR), K(TWPT_CIELAB), K(TWPT_CIELUV), K(TWPT_YCBCR), K(TWPT_INFRARED)}},
        {ICAP_UNITS, {K(TWUN_INCHES), K(TWUN_CENTIMETERS), K(TWUN_PICAS), K(TWUN_POINTS), K(TWUN_TWIPS),
                      K(TWUN_PIXELS)}},
        {ICAP_XFERMECH, {K(TWSX_NATIVE), K(TWSX_FILE), K(TWSX_MEMORY), K(TWSX_FILE2)}},
        {ICAP_IMAGEFILEFORMAT, {K(TWFF_TIFF), K(TWFF_PICT), K(TWFF_BMP), K(TWFF_XBM), K(TWFF_JFIF), K(TWFF_FPX),
                                K(TWFF_TIFFMULTI), K(TWFF_PNG), K(TWFF_SPIFF), K(TWFF_EXIF), K(TWFF_PDF),
                                K(TWFF_JPEG2000), K(TWFF_JPN), K(TWFF_JPX), K(TWFF_DEJAVU), K(TWFF_PDFA),
                                K(TWFF_PDFA2)}},
    };
    for (const Family& family : families) {
        for (const Known& v : family.values) {
            EXPECT_EQ(capabilityValueName(family.capability, v.value), v.name);
            EXPECT_EQ(capabilityValueByName(family.capability, v.name), v.value) << v.name;
        }
    }
    // The named JPEG quality levels are negative 16-bit values.
    EXPECT_EQ(capabilityValueName(ICAP_JPEGQUALITY, static_cast<TW_UINT16>(TWJQ_UNKNOWN)), "TWJQ_UNKNOWN");
    EXPECT_EQ(capabilityValueName(ICAP_JPEGQUALITY, static_cast<TW_UINT16>(TWJQ_LOW)), "TWJQ_LOW");
    EXPECT_EQ(capabilityValueName(ICAP_JPEGQUALITY, static_cast<TW_UINT16>(TWJQ_MEDIUM)), "TWJQ_MEDIUM");
    EXPECT_EQ(capabilityValueName(ICAP_JPEGQUALITY, static_cast<TW_UINT16>(TWJQ_HIGH)), "TWJQ_HIGH");
}

TEST(TwainNames, CapabilityValueExamplesAndSpecialCases) {
    struct Case {
        TW_UINT16 capability;
        TW_UINT32 value;
        const char* text;
    };
    const Case cases[] = {
        {ICAP_PIXELTYPE, 2, "TWPT_RGB"},
        {ICAP_BITDEPTH, 24, "24"},
        {ICAP_COMPRESSION, 99, "0x0063"},
        {ICAP_JPEGQUALITY, 85, "85"},
        {CAP_SUPPORTEDCAPS, ICAP_XRESOLUTION, "ICAP_XRESOLUTION"},
        {CAP_EXTENDEDCAPS, 0x8001, "Custom CAP 0x:8001"},
        {ICAP_SUPPORTEDEXTIMAGEINFO, TWEI_PAGESIDE, "TWEI_PAGESIDE"},
        // Capabilities with named values none of which is known here.
        {CAP_DUPLEX, 1, "0x0001"},
        {CAP_CAMERASIDE, 2, "0x0002"},
        // Capabilities without value names.
        {CAP_XFERCOUNT, 1, "Un-recognized Capability 0x0001"},
        {0x1234, 5, "Un-recognized Capability 0x1234"},
    };
    for (const Case& c : cases) EXPECT_EQ(capabilityValueName(c.capability, c.value), c.text) << c.capability;
    EXPECT_EQ(capabilityValueName(CAP_AUTHOR, "Anna Author"), "Anna Author");
    EXPECT_EQ(capabilityValueName(CAP_CUSTOMINTERFACEGUID, "{guid}"), "{guid}");
    EXPECT_EQ(capabilityValueName(ICAP_PIXELTYPE, "text"), "Un-recognized Capability 0x0101");
}

TEST(TwainNames, ExtImageInfoValueNames) {
    struct Case {
        TW_UINT16 id;
        TW_UINT32 value;
        const char* text;  // null: no name
    };
    const Case cases[] = {
        {TWEI_PATCHCODE, 0, "TWPCH_PATCH1"},          {TWEI_PATCHCODE, 4, "TWPCH_PATCH6"},
        {TWEI_PATCHCODE, 5, "TWPCH_PATCHT"},          {TWEI_PATCHCODE, 6, "Unknown TWPCH 0x:0006"},
        {TWEI_BARCODEROTATION, 4, "TWBCOR_ROTX"},     {TWEI_BARCODEROTATION, 5, "Unknown TWBCOR 0x:0005"},
        {TWEI_DESKEWSTATUS, 3, "TWDSK_DISABLED"},     {TWEI_DESKEWSTATUS, 4, "Unknown TWDSK 0x:0004"},
        {TWEI_MAGTYPE, 2, "TWMD_INVALID"},            {TWEI_MAGTYPE, 3, "Unknown TWMD 0x:0003"},
        {TWEI_FILESYSTEMSOURCE, 8, "TWFY_UNKNOWN"},   {TWEI_FILESYSTEMSOURCE, 9, "Un-recognized FileType 0x0009"},
        {TWEI_PIXELFLAVOR, TWPF_VANILLA, "TWPF_VANILLA"},
        {TWEI_BARCODETYPE, 2, "0x0002"},              {TWEI_PAGESIDE, 1, "0x0001"},
        {TWEI_PAGENUMBER, 3, nullptr},                {TWEI_BOOKNAME, 0, nullptr},
    };
    for (const Case& c : cases) {
        const auto name = extImageInfoValueName(c.id, c.value);
        if (c.text) {
            ASSERT_TRUE(name.has_value()) << c.id;
            EXPECT_EQ(*name, c.text);
        } else {
            EXPECT_FALSE(name.has_value()) << c.id;
        }
    }
}

// An information entry whose values sit in a handle of `bytes`.
struct HandleEntry {
    TW_INFO info{};
    TW_HANDLE handle = nullptr;
    HandleEntry(TW_UINT16 id, TW_UINT16 type, TW_UINT16 count, const void* data, std::size_t bytes) {
        handle = TwainMemAllocate(static_cast<TW_UINT32>(bytes));
        std::memcpy(TwainMemLock(handle), data, bytes);
        TwainMemUnlock(handle);
        info = TW_INFO{id, type, count, TWRC_SUCCESS, reinterpret_cast<TW_UINTPTR>(handle)};
    }
    ~HandleEntry() { TwainMemFree(handle); }
};

TW_INFO InlineEntry(TW_UINT16 id, TW_UINT16 type, TW_UINT16 count, const void* data, std::size_t bytes) {
    TW_INFO info{id, type, count, TWRC_SUCCESS, 0};
    std::memcpy(&info.Item, data, bytes);
    return info;
}

TEST(TwainNames, InfoItemTextByReturnCodeAndType) {
    EXPECT_EQ(infoItemText(TW_INFO{TWEI_PAGENUMBER, TWTY_UINT32, 1, TWRC_DATANOTAVAILABLE, 0}), "Data Not Available");
    EXPECT_EQ(infoItemText(TW_INFO{TWEI_PAGENUMBER, TWTY_UINT32, 1, TWRC_INFONOTSUPPORTED, 0}), "Unsupporetd");
    EXPECT_EQ(infoItemText(TW_INFO{TWEI_PAGENUMBER, TWTY_UINT32, 1, 5, 0}), "unknown failure 5");

    const std::uint32_t three = 3;
    EXPECT_EQ(infoItemText(InlineEntry(TWEI_PAGENUMBER, TWTY_UINT32, 1, &three, 4)), "3 ");
    const std::int16_t pair[2] = {-1, 7};
    EXPECT_EQ(infoItemText(InlineEntry(TWEI_SKEWFINALANGLE, TWTY_INT16, 2, pair, 4)), "-1 7 ");
    const std::uint16_t bools[2] = {1, 0};
    EXPECT_EQ(infoItemText(InlineEntry(TWEI_CAMERA, TWTY_BOOL, 2, bools, 4)), "True False ");
    const std::uint16_t status = TWDSK_FAIL;
    EXPECT_EQ(infoItemText(InlineEntry(TWEI_DESKEWSTATUS, TWTY_UINT16, 1, &status, 2)), "TWDSK_FAIL ");
    const std::uint8_t bytes[3] = {1, 2, 3};
    EXPECT_EQ(infoItemText(InlineEntry(TWEI_SPECKLESREMOVED, TWTY_UINT8, 3, bytes, 3)), "1 2 3 ");
    const std::int8_t small = -5;
    EXPECT_EQ(infoItemText(InlineEntry(TWEI_SPECKLESREMOVED, TWTY_INT8, 1, &small, 1)), "-5 ");

    // Values that do not fit into Item come from its handle.
    const std::uint32_t many[3] = {10, 20, 30};
    HandleEntry three32(TWEI_BARCODEX, TWTY_UINT32, 3, many, sizeof many);
    EXPECT_EQ(infoItemText(three32.info), "10 20 30 ");
    const TW_FRAME frame{{1, 0x8000}, {2, 0}, {8, 0x8000}, {11, 0}};
    HandleEntry frameEntry(TWEI_FRAME, TWTY_FRAME, 1, &frame, sizeof frame);
    EXPECT_EQ(infoItemText(frameEntry.info), "1.50  2.00  8.50  11.00");
    char name[34] = "Book of Pages";
    HandleEntry text(TWEI_BOOKNAME, TWTY_STR32, 1, name, sizeof name);
    EXPECT_EQ(infoItemText(text.info), "Book of Pages");
    // A string without terminator stops at its type's size.
    char full[66];
    std::memset(full, 'z', sizeof full);
    HandleEntry unterminated(TWEI_BOOKNAME, TWTY_STR64, 1, full, sizeof full);
    EXPECT_EQ(infoItemText(unterminated.info), std::string(66, 'z'));

    EXPECT_EQ(infoItemText(TW_INFO{TWEI_BARCODETEXT, TWTY_HANDLE, 1, TWRC_SUCCESS, 0x7A0000F0}), "Handle 0x:7A0000F0");
    EXPECT_EQ(infoItemText(TW_INFO{TWEI_SKEWCONFIDENCE, TWTY_FIX32, 1, TWRC_SUCCESS, 0}), "Unsupporetd Type 0x:0007");
    EXPECT_EQ(infoItemText(TW_INFO{TWEI_BOOKNAME, TWTY_UNI512, 1, TWRC_SUCCESS, 0}), "Unsupporetd Type 0x:000E");
}

TEST(TwainNames, InfoItemTextNeverReadsPastTheHandle) {
    // The entry claims five values; its handle holds three. Only what the
    // block holds is read (a source's wrong count must not read past it).
    const std::uint32_t three[3] = {7, 8, 9};
    HandleEntry entry(TWEI_BARCODEY, TWTY_UINT32, 5, three, sizeof three);
    EXPECT_EQ(infoItemText(entry.info), "7 8 9 ");
    // A frame in a block too small for one, and a handle nobody handed out.
    const std::uint32_t half[2] = {1, 2};
    HandleEntry smallFrame(TWEI_FRAME, TWTY_FRAME, 1, half, sizeof half);
    EXPECT_EQ(infoItemText(smallFrame.info), "");
    EXPECT_EQ(infoItemText(TW_INFO{TWEI_BARCODEX, TWTY_UINT32, 4, TWRC_SUCCESS, 0x1234}), "");
    // The text stops at 1023 characters however many values there are.
    std::vector<std::uint32_t> lots(600, 123456);
    HandleEntry longEntry(TWEI_BARCODEX, TWTY_UINT32, 600, lots.data(), lots.size() * 4);
    EXPECT_EQ(infoItemText(longEntry.info).size(), 1023u);
}

TEST(TwainNames, EveryResultKeepsItsOwnText) {
    // Four formatted names in one statement: none overwrites another.
    const std::string a = capabilityName(0x7001), b = capabilityName(0x7002), c = capabilityName(0x7003),
                      d = capabilityName(0x7004);
    EXPECT_EQ(a, "Unknown CAP 0x:7001");
    EXPECT_EQ(b, "Unknown CAP 0x:7002");
    EXPECT_EQ(c, "Unknown CAP 0x:7003");
    EXPECT_EQ(d, "Unknown CAP 0x:7004");
}

TEST(TwainNames, TraceNames) {
    EXPECT_EQ(twainDgName(DG_CONTROL), "DG_CONTROL");
    EXPECT_EQ(twainDgName(DG_IMAGE), "DG_IMAGE");
    EXPECT_EQ(twainDgName(DG_AUDIO), "DG_AUDIO");
    EXPECT_EQ(twainDgName(0x0008), "DG_0x0008");
    EXPECT_EQ(twainDatName(DAT_ENTRYPOINT), "DAT_ENTRYPOINT");
    EXPECT_EQ(twainDatName(DAT_CUSTOMBASE), "DAT_CUSTOMBASE");
    EXPECT_EQ(twainDatName(0x0011), "DAT_0x0011");
    EXPECT_EQ(twainMsgName(MSG_REGISTER_CALLBACK), "MSG_REGISTER_CALLBACK");
    EXPECT_EQ(twainMsgName(MSG_CUSTOMBASE), "MSG_CUSTOMBASE");
    EXPECT_EQ(twainMsgName(0x0901), "MSG_0x0901");
    EXPECT_EQ(twainCapName(ICAP_XRESOLUTION), "ICAP_XRESOLUTION");
    EXPECT_EQ(twainCapName(0x1101), "CAP_0x1101");
    EXPECT_EQ(twainRcName(TWRC_XFERDONE), "TWRC_XFERDONE");
    EXPECT_EQ(twainRcName(10), "TWRC_0x000a");
    EXPECT_EQ(twainCcName(TWCC_PAPERJAM), "TWCC_PAPERJAM");
    EXPECT_EQ(twainCcName(24), "TWCC_0x0018");
    EXPECT_EQ(twainConTypeName(TWON_ARRAY), " TWON_ARRAY");
    EXPECT_EQ(twainConTypeName(TWON_ENUMERATION), " TWON_ENUMERATION");
    EXPECT_EQ(twainConTypeName(TWON_ONEVALUE), " TWON_ONEVALUE  ");
    EXPECT_EQ(twainConTypeName(TWON_RANGE), " TWON_RANGE");
    EXPECT_EQ(twainConTypeName(TWON_DONTCARE16), " TWON_DONTCARE16");
    EXPECT_EQ(twainConTypeName(7), " TWON_0x0007");
}

TEST(TwainNames, ItemSizesFollowTheHeader) {
    struct Case {
        TW_UINT16 type;
        std::size_t size;
    };
    const Case cases[] = {{TWTY_INT8, 1},   {TWTY_UINT8, 1},  {TWTY_INT16, 2},    {TWTY_UINT16, 2},
                          {TWTY_BOOL, 2},   {TWTY_INT32, 4},  {TWTY_UINT32, 4},   {TWTY_FIX32, 4},
                          {TWTY_FRAME, 16}, {TWTY_STR32, 34}, {TWTY_STR64, 66},   {TWTY_STR128, 130},
                          {TWTY_STR255, 256}, {TWTY_STR1024, 1026}, {TWTY_UNI512, 1024},
                          {TWTY_HANDLE, sizeof(void*)}, {16, 0}, {0xFFFF, 0}};
    for (const Case& c : cases) EXPECT_EQ(twainItemSize(c.type), c.size) << c.type;
    // Fixed-point values: whole part and 1/65536 fractions.
    EXPECT_DOUBLE_EQ(TwainFix32ToDouble(TW_FIX32{300, 0}), 300.0);
    EXPECT_DOUBLE_EQ(TwainFix32ToDouble(TW_FIX32{-2, 0x4000}), -1.75);
    const TW_FIX32 back = TwainFix32FromBits(TwainFix32Bits(TW_FIX32{-2, 0x4000}));
    EXPECT_EQ(back.Whole, -2);
    EXPECT_EQ(back.Frac, 0x4000);
}

}  // namespace
