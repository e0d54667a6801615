#include "settings/ProcessSetting.h"

void ProcessSetting::ResetToStart() {
    rmbkcolor = RmBkColor{};
    autocontrast = AutoContrast{};
    rmblackboard = RmBlackBoard{};
    rmblackborder = RmBlackBorder{};
    correct = Correct{};
    center = Center{};
    cutwhite = CutWhite{};
    cutbybkcolor = CutByBkColor{};
    bindhole = BindHole{};
    rmstains = RmStains{};
    rmredseal = RmRedSeal{};
    strenredseal = StrenRedSeal{};
    rmblankpage = RmBlankPage{};
    modifycolor = ModifyColor{};
    rotatetextdirect = RotateTextDirect{};
    output = Output{};
    dpi = Dpi{};
    filesave = FileSave{};

    loose = Loose{};
}

void ProcessSetting::RestoreDefaults() {
    const std::int32_t placement = PlacementMode;
    ResetToStart();
    colorradius = 2.0f;
    bindhole.top = 10;
    bindhole.bottom = 10;
    PlacementMode = placement;
}
