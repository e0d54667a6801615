#include "processing/processor/EngineSettings.h"

#include "processing/PixelMath.h"
#include "settings/ProcessSetting.h"
#include "settings/SettingsTable.h"

namespace engine_settings {

RmBkColorOpParams BackgroundRemoval() {
    const auto& s = ProcessSetting::rmbkcolor;
    RmBkColorOpParams p;
    p.brightness = s.bright;
    p.contrast = s.contrast;
    p.darkening = s.curve;
    p.colourDelta = s.colordelta;
    p.saturation = s.colorsatuation;
    p.keepRadius = settings::Clamped(ProcessSetting::colorradius);
    p.keepMode = s.rmcolortype;
    p.rebuildMask = 1;
    return p;
}

bool KeepSourceColours() { return ProcessSetting::keeporigcolor != 0; }

namespace {

RedSealParams RedSeal(SealAction mode, int area, int type) {
    RedSealParams p;
    p.redLead = kSealRedLead;
    p.saturation = kSealSaturation;
    p.mode = mode;
    p.sealArea = area;
    p.type = static_cast<SealScope>(type);
    return p;
}

}  // namespace

RedSealParams RedSealRemoval() {
    const auto& s = ProcessSetting::rmredseal;
    RedSealParams p = RedSeal(SealAction::kRemove, s.area, s.type);
    p.erase = settings::Clamped(s.erase);
    p.textStrength = settings::Clamped(s.textstren);
    return p;
}

RedSealParams RedSealStrengthening() {
    const auto& s = ProcessSetting::strenredseal;
    RedSealParams p = RedSeal(SealAction::kStrengthen, s.area, s.type);
    p.clip = settings::Clamped(s.strenvalue);
    return p;
}

BlankPageParams BlankPage() {
    const auto& s = ProcessSetting::rmblankpage;
    BlankPageParams p;
    p.threshold = s.threhold;
    p.contentPercent = s.contentpercent;
    p.textPercent = s.textpercent;
    p.type = static_cast<BlankTest>(static_cast<int>(s.type));
    return p;
}

BkColorChangeParams BackgroundChange() {
    BkColorChangeParams p;
    p.target = ProcessSetting::modifycolor.bkcolor;
    p.keepPictures = ProcessSetting::modifycolor.ignorepic;
    p.flag = 0;
    p.passes = settings::Clamped(ProcessSetting::strokewidth);
    return p;
}

TextFilterParams CentringTextFilter() {
    TextFilterParams p;
    p.threshold = comp::kTextThreshold;
    return p;
}

cutting::CutByBkColorParams CutByBkColor() {
    const auto& s = ProcessSetting::cutbybkcolor;
    cutting::CutByBkColorParams p;
    p.red = s.red;
    p.yellow = s.yellow;
    p.green = s.green;
    p.cyan = s.cyan;
    p.blue = s.blue;
    p.purple = s.purple;
    p.black = s.black;
    p.white = s.white;
    p.marginUnit = s.magrinunit;
    p.margin = s.margin;
    p.contentRatio = s.contentratio;
    p.skipNearWhite = s.skipwhite;
    return p;
}

cutting::Margins WhiteMargins(std::int32_t xDpi) {
    cutting::Margins m;
    if (ProcessSetting::cutwhite.margin == 1) {
        const int k = px::PixelsPerMm(static_cast<float>(xDpi));
        auto mm = [k](float v) { return px::SaturatingInt(static_cast<float>(k) * v); };
        m.left = mm(ProcessSetting::marginleftmm);
        m.right = mm(ProcessSetting::marginrightmm);
        m.top = mm(ProcessSetting::margintopmm);
        m.bottom = mm(ProcessSetting::marginbottommm);
    } else {
        m.left = ProcessSetting::marginleftpx;
        m.right = ProcessSetting::marginrightpx;
        m.top = ProcessSetting::margintoppx;
        m.bottom = ProcessSetting::marginbottompx;
    }
    return m;
}

}  // namespace engine_settings
