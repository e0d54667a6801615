// Looks at the data source manager from outside, through DSM_Entry only
// (shared by the tests and the fuzz target).
#pragma once

#include <cstring>

#include "twain/Twain.h"
#include "twain/dsm/Dsm.h"

namespace dsmtest {

// An application identity speaking TWAIN 2 (protocol major.minor).
inline TW_IDENTITY AppIdentity(const char* product, TW_UINT16 major = 2, TW_UINT16 minor = 4,
                               TW_UINT32 groups = DF_APP2 | DG_IMAGE | DG_CONTROL) {
    TW_IDENTITY id{};
    id.Version.MajorNum = 2;
    id.Version.MinorNum = 0;
    id.Version.Language = TWLG_ENGLISH_CANADIAN;
    id.Version.Country = TWCY_CANADA;
    std::strncpy(id.Version.Info, "2.0.9", sizeof id.Version.Info - 1);
    id.ProtocolMajor = major;
    id.ProtocolMinor = minor;
    id.SupportedGroups = groups;
    std::strncpy(id.Manufacturer, "Test Maker", sizeof id.Manufacturer - 1);
    std::strncpy(id.ProductFamily, "Tests", sizeof id.ProductFamily - 1);
    std::strncpy(id.ProductName, product, sizeof id.ProductName - 1);
    return id;
}

// True when no manager exists: every status read then answers TWCC_BUMMER,
// while a manager would reset its own code on the first read.
inline bool ManagerGone() {
    TW_IDENTITY nobody = AppIdentity("Nobody");
    for (int i = 0; i < 2; ++i) {
        TW_STATUS status{};
        if (DSM_Entry(&nobody, nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status) != TWRC_SUCCESS ||
            status.ConditionCode != TWCC_BUMMER)
            return false;
    }
    return true;
}

}  // namespace dsmtest
