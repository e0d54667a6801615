// The archive seal drawn with the device-context layer (QPainter underneath)
// in the installed CJK font: frame, dividers, bold antialiased texts centred
// in their cells on a transparent background. Usable on a worker thread
// while the application object exists.
#pragma once

#include "processing/ArchiveSeal.h"

class CSealDrawer final : public ISealDrawer {
public:
    bool Draw(BYTE* bits, const SealLayout& layout, const SealSettings& settings, const SealTexts& texts) override;
};
