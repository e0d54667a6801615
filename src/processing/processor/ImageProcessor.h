// CImageProcessor: the per-image processing object. One is made for every
// input file of a run, every image loaded into the manual or scan window and
// every page the seal tool stamps. It holds the whole input file in memory,
// decodes one page at a time into raw working images (8-bit grey always,
// 24-bit colour for colour sources), runs operations on raw buffers and
// writes the result in the format of its source.
//
// Raw images are bare rows with no header, stored bottom-up (the first row in
// memory is the lowest row of the picture), each padded to four bytes:
// 8-bit rows px::Stride8(width) bytes, 24-bit rows (B, G, R) px::Stride24.
// Binary images are 8-bit images holding 0 (dark) and 255 (light).
//
// A processor is used by one thread at a time (the worker while it runs the
// pipeline, the user-interface thread before and after); it has no lock. The
// settings it reads are process-wide values read live.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/Raster.h"
#include "platform/core/Files.h"
#include "processing/ArchiveSeal.h"
#include "platform/core/Messages.h"
#include "platform/core/WinTypes.h"
#include "processing/BindHoleRemover.h"
#include "processing/BkColorChanger.h"
#include "processing/BkColorRemover.h"
#include "processing/processor/CleanupSteps.h"
#include "processing/Cutting.h"
#include "processing/BlankPageDetector.h"
#include "processing/processor/CleanupSteps.h"
#include "processing/Cutting.h"
#include "processing/ImageBuffer.h"
#include "processing/ManualOperation.h"
#include "processing/processor/OutputGuard.h"
#include "processing/PhotoRegionFinder.h"
#include "processing/ProtectedRects.h"
#include "processing/RedSealEngine.h"
#include "processing/SkewSearch.h"
#include "processing/StainBorderRemover.h"
#include "processing/TextComponentAnalyzer.h"
#include "processing/TextDirectionDetector.h"
#include "processing/TextFilter.h"
#include "processing/ToneCurve.h"

// Posted to the main window when a processor has finished its last page:
// wParam = the processor, lParam = the item index.
constexpr UINT WM_IMAGE_PROCESSED = WM_USER + 101;

// What a run does with each file. 0..2: batch run with that deskew method
// (the value of correct/method); 3: detection run (nothing is changed,
// flagged source files are copied); 4: scan-and-process run (the step gates
// come from ScanStepFlags).
using RunType = std::int32_t;
constexpr RunType RUN_DESKEW_METHOD_0 = 0;
constexpr RunType RUN_DESKEW_METHOD_1 = 1;
constexpr RunType RUN_DESKEW_METHOD_2 = 2;
constexpr RunType RUN_DETECTION = 3;
constexpr RunType RUN_SCAN_AND_PROCESS = 4;

// The input's kind, by the end of its name without regard to case: 2 "tif"
// or "tiff", 3 "png", 4 "pdf", 1 anything else, 0 a name of four characters
// or fewer.
using ImageFileType = std::int32_t;
constexpr ImageFileType FILE_TYPE_SHORT_NAME = 0;
constexpr ImageFileType FILE_TYPE_JPEG = 1;
constexpr ImageFileType FILE_TYPE_TIFF = 2;
constexpr ImageFileType FILE_TYPE_PNG = 3;
constexpr ImageFileType FILE_TYPE_PDF = 4;

// 1: outputs go to output folder + "/" + output name; 0: to the explicit
// output path (the manual window's saves).
using OutputPathMode = std::int32_t;
constexpr OutputPathMode OUTPUT_TO_FOLDER = 1;
constexpr OutputPathMode OUTPUT_TO_EXPLICIT_PATH = 0;

// The hand-over of a picture between the processor, the manual window, the
// image view and the scan window: 24-bit rows as above. The producer
// allocates the bits with array new; the receiver owns them.
struct RawImage24 {
    BYTE* bits = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

class CImageProcessor {
public:
    CImageProcessor();
    ~CImageProcessor();
    CImageProcessor(const CImageProcessor&) = delete;
    CImageProcessor& operator=(const CImageProcessor&) = delete;

    // ImageFileType of a path.
    static ImageFileType FileTypeOf(const std::wstring& path);

    // Frees, and sets to null, every working buffer (grey, colour, binary,
    // one-bit copy, contrast copy, canvas, cut buffers, size and turn
    // canvases, the source header copy); the file bytes too unless
    // keepFileBytes. The result no longer points anywhere afterwards.
    // Calling it twice is harmless.
    void ReleaseBuffers(bool keepFileBytes);

    // ---- Loading ----
    // Reads the whole file into the file bytes. False when the path is null
    // or names no readable regular file, or the file cannot be read whole.
    bool ReadFileBytes(const wchar_t* path);
    // Decodes the current page of the file bytes into the working images.
    // `first` is set for the first call on a file (page 0) and clear for each
    // further TIFF page (the current page). False, with no message, when the
    // path is null, the file no longer exists, the bytes are missing, or the
    // page cannot be decoded into a 1-, 8-, 24- or 32-bit image.
    bool LoadImageFile(const wchar_t* path, BYTE first);
    // Takes a decoded page into the working images (grey always, colour for
    // 24- and 32-bit pages), the source depth, the working size and the
    // stored source headers, as the page's BMP form gives them. False for
    // pages of 4 or 16 bits (and any other depth but 1, 8, 24 and 32).
    bool TakePixelsFromImage(const CRaster& image);

    // ---- The file's road through a run ----
    // Loads the first page and every further page of a multi-page TIFF, runs
    // the detection or the batch pipeline on each, keeps each finished page
    // of a multi-page file in the temporary page folder, and on the last page
    // posts WM_IMAGE_PROCESSED to the main window. Returns false when a page
    // cannot be loaded, cannot be processed as asked (failReason says why)
    // or cannot be kept; the temporary page folder is removed then and
    // nothing is posted (the caller counts the file as failed). `first` is
    // set by the callers.
    bool ProcessFile(const std::wstring& path, std::int32_t quickSteps, const std::wstring* outputFolder,
                     const std::wstring* outputName, std::int32_t itemIndex, BYTE first);
    // The processing of the current page: the detection pipeline in run type
    // 3, otherwise the batch pipeline. It leaves the page's result (result,
    // result size, result depth) for FinishPage.
    void RunPage(const std::wstring& path, std::int32_t quickSteps, const std::wstring* outputFolder,
                 const std::wstring* outputName, std::int32_t itemIndex);
    void RunPipeline(const std::wstring& path, std::int32_t quickSteps, const std::wstring* outputFolder,
                     const std::wstring* outputName, std::int32_t itemIndex);
    void RunDetection(const std::wstring& path, std::int32_t quickSteps, const std::wstring* outputFolder,
                      const std::wstring* outputName, std::int32_t itemIndex);

    // What FinishPage did with the current page.
    enum class PageEnd {
        kNextPage,  // the page is kept and the buffers released; load the next one
        kFinished,  // the last page is done and the file announced
        kFailed,    // the page could not be kept; the temporary page folder is gone
    };
    PageEnd FinishPage(std::int32_t itemIndex);

    // ---- Saving ----
    // Save the current result under output folder + "/" + output name (or
    // the explicit path in output path mode 0) in the source's format, at 8
    // bits grey, 1 bit or 24 bits. Written to a temporary name and renamed,
    // so a failed save leaves no file. True when the file was written.
    bool SaveGray8(std::wstring outputFolder, std::wstring outputName);
    bool SaveBinary1(std::wstring outputFolder, std::wstring outputName);
    bool SaveColor24(std::wstring outputFolder, std::wstring outputName);
    // The two halves of a save. MakeSaveImage builds, in an image made with
    // the BMP type, what a BMP reader makes of the result's BMP form: the
    // stored source headers updated in place with the result's size and
    // depth (1078-byte header with a grey palette for 8 bits, 62 bytes with
    // white and black for 1 bit, the source header copy for 24 bits), their
    // resolution, and the rows (1 bit: a pixel of 128 or less is black).
    // WriteSaveImage applies the DPI and format rules and writes the file.
    enum class SaveKind { kGray8, kBinary1, kColor24 };
    bool MakeSaveImage(SaveKind kind, const BYTE* bits, std::int32_t w, std::int32_t h, CRaster& image);
    bool WriteSaveImage(SaveKind kind, CRaster& image, const std::wstring& path);
    // Writes the file's result: the detection copy in a detection run, the
    // multi-page file assembled from its page files, or the single page with
    // its optional comparison image. True when everything that was to be
    // written has been written.
    bool SaveResult();
    // Why the last SaveResult or SaveTiffPage failed, in the system's words
    // ("磁盘空间不足" for a full disk); empty when no reason is known.
    std::wstring SaveFailReason() const;
    // Keeps the current page of a multi-page file in the temporary page
    // folder (or drops it when it was found blank and blank-page deletion is
    // on). True unless a page file could not be written.
    bool SaveTiffPage();
    // True when the file's result is to be dropped as blank: the page was
    // found blank (single page), or every page was (multi-page file). Read by
    // the main window together with rmblankpage/on.
    bool IsBlankResult() const;
    // The temporary page folder of the file: output folder + "/" + the
    // output name without its extension + "_tmpformultiframe" (a numbered
    // variant when that one is in use by another file); empty without an
    // output name. A name too long for the file system is cut short and
    // marked so that it fits (it keeps "_tmpformultiframe").
    std::wstring TempPageFolder() const;
    // The name every page folder of output `name` starts with (before the
    // variant number): its base + "_tmpformultiframe", fitted to the
    // file-name limit.
    static std::wstring TempPageFolderStem(const std::wstring& name);
    // The comparison image's name of output `name`: its base + "_对比." +
    // its extension, fitted to the file-name limit.
    static std::wstring ComparisonName(const std::wstring& name);

    // ---- Archive seal ----
    // Stamps the seal on the first page of the file at `pagePath` and writes
    // the page as `fileName` into `destinationFolder`: the seal is drawn with
    // `drawer` after `settings` (a copy taken when the job started), its
    // non-white pixels replace the page's, clipped to the page, and the page
    // is saved in colour (a grey or one-bit page is stamped on its colour
    // form) in its own format. The other pages of a multi-page TIFF follow
    // unchanged. False, with no file left, when the page cannot be read,
    // decoded, drawn or written.
    bool StampArchiveSeal(const std::wstring& pagePath, const std::wstring& destinationFolder,
                          const std::wstring& fileName, const std::wstring& prefix, std::int32_t volume,
                          std::int32_t serial, const SealSettings& settings, ISealDrawer& drawer);
    // Draws the seal of sealCanvas (size, prefix, volume, serial) onto its
    // surface.
    bool DrawArchiveSeal(const SealSettings& settings, ISealDrawer& drawer);

    // The result: the image that is saved (borrowed: it points into one of
    // the buffers above) and its size. It changes only through these two.
    void SetResult(BYTE* bits, std::int32_t w, std::int32_t h);
    // Before `buffer` is freed or replaced: a result pointing to it points
    // nowhere afterwards (its size stays). True when it pointed there.
    bool LetGoOfResult(const BYTE* buffer);

    // Shows the unsupported-depth message (from any thread).
    static void ShowDepthError();

    // ---- Tone operations on the working images ----
    // The protected rectangles of the tone steps: the photo finder's found
    // list, honoured when `rmbkcolor/illstration` is not 0 (read once, here).
    ProtectedRects ProtectedRectangles() const;
    // Every byte of an 8-bit buffer through the brightness/contrast table
    // pivoted on its mean byte, protected pixels excepted.
    void AdjustBrightnessContrast(BYTE* bits, std::int32_t bufferWidth, std::int32_t bufferHeight,
                                  std::int32_t brightness, std::int32_t contrast);
    // The darkening curve (0, 0), (105, 105 - strength limited to 20..105),
    // (255, 255) on the grey image at the working size, protected pixels
    // excepted. Nothing without a grey image.
    void ApplyDarkeningCurve(std::int32_t strength);
    // Auto contrast with the processor's clip percentages: an 8-bit buffer;
    // a 24-bit buffer with one table for its three channels or a table per
    // channel (these two only when the source depth is 24).
    void AutoContrastGray(BYTE* bits, std::int32_t bufferWidth, std::int32_t bufferHeight);
    void AutoContrastColor(BYTE* bits, std::int32_t bufferWidth, std::int32_t bufferHeight);
    void AutoContrastPerChannel(BYTE* bits, std::int32_t bufferWidth, std::int32_t bufferHeight);
    // Sets the clip percentages and rebuilds the contrast copy: the colour
    // image stretched per channel for 24-bit sources, otherwise the grey image
    // stretched (working depth 8); none when there is no such image.
    void PrepareContrastCopy(float low, float high);
    // ---- Output size, text-direction turn, illustrations ----
    // Places the result centred on a TW x TH canvas (cropping or padding
    // with the output fill) when the step's gate is on or `force` is set.
    // A size that cannot be made leaves the result as it is and sets
    // failReason.
    void FitOutputSizeGray(std::int32_t targetWidth, std::int32_t targetHeight, BYTE force);
    void FitOutputSizeColor(std::int32_t targetWidth, std::int32_t targetHeight, BYTE force);
    // Turns the result upright by the quarter turns the text-direction
    // detector finds (when the step's gate is on).
    void RotateByTextDirection();
    // Turns a source of the result's depth by `angle` degrees clockwise as
    // displayed into the turn canvas, which becomes the result. Quarter and
    // half turns are exact pixel permutations.
    void TurnResult(std::int32_t angle, const BYTE* source, std::int32_t w, std::int32_t h);
    // Lets the photo finder mark the pictures that the tone steps leave
    // alone (when rmbkcolor/illstration is not 0).
    void FindIllustrations();

    // ---- Detection checks (set needsProcessing) ----
    void CheckWhiteMarginsColor();
    void CheckWhiteMarginsGray();
    void CheckColouredEdges();

    // ---- The manual window's entry points ----
    // The manual window keeps its picture as RawImage24 rows and runs one
    // operation at a time on a copy of it: SetImage before, the operation's
    // entry point with its record, GetResultBits after. An entry point given
    // a record of another type, or called with no image, does nothing.
    //
    // Saves go to `path` (output path mode 0).
    void SetOutputPath(const std::wstring& path);
    // Rebuilds the working images from 24-bit rows: the grey image always
    // (a neutral pixel keeps its level), the colour image (a copy of the
    // rows) when the loaded source was a colour one. The result becomes the working image at this size (depth
    // 24 for colour sources, else 1 or 8 as the source) and saves go to the
    // explicit path. False, changing nothing, for null bits or a size that is
    // not positive (or too large to hold).
    bool SetImage(const BYTE* bits, std::int32_t w, std::int32_t h);
    // The result (or, without one, the working image) as new 24-bit rows
    // that the caller owns (array delete); grey is expanded to (g, g, g).
    // Null, with both sizes 0, when there is no image or no memory.
    BYTE* GetResultBits(std::int32_t* w, std::int32_t* h);
    // Background colour removal with the record's values: the colour
    // remover on colour sources (no protected rectangles), brightness,
    // contrast and darkening on the grey image otherwise.
    void RunBkColorRemoval(const ManualOperation& op);
    // Skew search by the record's method (no other method tried), rotation
    // by the found angle with the record's fill, and the keep-size crop when
    // asked.
    void DeskewManual(const ManualOperation& op);
    // Centring of the working image by the record's direction bits and
    // ratios, measured on all objects or on the text only.
    void CenterManual(const ManualOperation& op);
    // Types 12 and 13: fills the record's rectangle (rows from the top), or
    // everything outside it, with its colour. The rectangle is clipped to
    // the image.
    void EraseBox(const ManualOperation& op);
    // Type 16: the working image cut to the record's rectangle (rows from
    // the top), clipped to the image; an empty rectangle keeps the image.
    void CropToRect(const ManualOperation& op);
    // Runs one operation of the manual window's table on the working image
    // set by SetImage and leaves its result (result, size, depth) for
    // GetResultBits: the entry points above for types 1, 2, 6, 12, 13 and
    // 16, and for the others the batch steps' own operations (3 quarter
    // turn, 4 cut by background colour on colour sources, 5 cut white
    // margins, 7 black board, 8 stains and borders, 9 binding holes, 10
    // auto contrast). Type 0 and types without an operation change nothing.
    void RunManualOperation(const ManualOperation& op);

    // ---- Steps shared by the batch pipeline and the manual window ----
    // Background colour removal of a colour page with the given values (the
    // colour remover on the colour image, measured on the grey image).
    void RemoveBackgroundColour(const RmBkColorOpParams& values, bool keepSourceColours, ProtectedRects protect);
    // Background removal of a grey page: brightness and contrast, then the
    // darkening curve, on the grey image (working depth 8 only).
    void RemoveBackgroundGrey(std::int32_t brightness, std::int32_t contrast, std::int32_t darkening);
    // Centres the result (24 or 8 bits per pixel) by the direction bits,
    // measured on the result itself with allObjects, otherwise on a copy
    // from which the text filter has erased everything but text.
    void CentreResult(std::int32_t directionBits, float horizontalRatio, float verticalRatio, bool allObjects,
                      int bitsPerPixel);
    // The binary image the skew search of `method` reads: the text-only
    // mask (1), the contrast copy binarised at 128 at its own depth (2), or
    // Otsu's threshold of the grey image (0, and any other method when
    // `otherMethodsAsOtsu`).
    void PrepareSkewBinary(std::int32_t method, bool otherMethodsAsOtsu);
    // Bits per pixel of the result buffer (24 or 8), taken from the buffer
    // it is when that says more than the result depth does.
    int ResultBufferBitsPerPixel() const;

    // The steps of the batch pipeline, in the order they run.
    enum class PipelineStep {
        kBackgroundRemoval,
        kAutoContrast,
        kStainsBordersHoles,
        kBlackBoard,
        kSkewDetection,
        kRotation,
        kCentre,
        kCutByBkColor,
        kCutWhite,
        kRemoveRedSeal,
        kStrengthenRedSeal,
        kBlankPage,
        kChangeBkColor,
        kTextDirection,
        kOutputSize,
    };
    // The steps whose gate let them run on the current page, in order (the
    // pipeline's own record, for inspection).
    std::vector<PipelineStep> stepsRun;
    // Whether a step's gate is on now: its scan switch in run type 4, its
    // setting otherwise (background removal and skew detection: the
    // quick-step bits outside run type 4).
    bool StepGate(PipelineStep step) const;

    // ---- Skew search and rotation ----
    // Finds the skew angle of the page (degrees, positive when the content
    // is turned clockwise as displayed) with the method (0 Otsu, 1 text only,
    // 2 contrast copy) and, with tryothers, the other methods; leaves it in
    // skewSearcher.skewAngle. The maximum angle is the sweep's range either way.
    void DetectSkew(std::int32_t maxAngle, std::int32_t method);
    // Prepares the method's binary image and searches it; the outputs take
    // the skew angle and score. True when a scan passed a peak.
    bool RunSkewSearch(std::int32_t maxAngle, std::int32_t method, BYTE twoColumns, float* angle, float* score);
    // Searches the binary image as it is (horizontal text lines first with
    // correct/textdirecthor, vertical columns first without).
    bool SearchSkew(std::int32_t maxAngle, std::int32_t method, BYTE twoColumns);
    bool SearchHorizontalSkew(std::int32_t maxAngle, std::int32_t method);
    bool SearchVerticalSkew(std::int32_t maxAngle, std::int32_t method);
    // Blank sample lines of the binary image at a slope.
    std::int32_t CountHorizontalLines(double slope, std::int32_t method);
    std::int32_t CountVerticalLines(double slope, std::int32_t method);
    // The binary image at the working size: Otsu of the grey image, or the
    // buffer binarised at 128 (nothing without a buffer; the 8-bit form also
    // needs working depth 8).
    void OtsuBinarizeGray(const BYTE* grey);
    void BinarizeGray128(const BYTE* bits);
    void BinarizeColor128(const BYTE* bits);
    // New 8-bit binary buffers into `out` (what it held is freed).
    static void OtsuBinarizeColor(const BYTE* bits, std::int32_t w, std::int32_t h, PixelBuffer& out);
    static void OtsuBinarize8(const BYTE* bits, std::int32_t w, std::int32_t h, PixelBuffer& out);
    static void ThresholdColor(const BYTE* bits, std::int32_t w, std::int32_t h, PixelBuffer& out, std::int32_t threshold);
    static void Threshold8(const BYTE* bits, std::int32_t w, std::int32_t h, PixelBuffer& out, BYTE threshold);
    // Turns the working image (colour when colour is kept, else grey) by
    // `angle` degrees clockwise as displayed into the canvas; fill 1 white,
    // 0 black. Frees the grey and colour working images.
    void RotateByAngle(double angle, std::int32_t fill);
    // The same sampling the working image about its own centre into a white
    // canvas; whole quarter turns (the manual window's) move the pixels
    // exactly into a canvas of the turned size.
    void RotateWorkingImage(double angle);
    // One bilinear sample of the rotation into the canvas buffer given, with
    // the edge fill of correct/fillcolor.
    static void SampleRotated(const BYTE* source, std::int32_t sourceWidth, std::int32_t sourceHeight, BYTE* canvas,
                              std::int32_t canvasWidth, std::int32_t canvasHeight, double x, double y,
                              std::int32_t column, std::int32_t row, std::int32_t bitsPerPixel);
    // Copies the centre of the canvas back at the working size into the grey
    // (colour) working image and makes it the result; box left and top take
    // the offsets. Nothing when the flag is 0, there is no canvas, or the
    // canvas is not of that depth.
    void KeepSizeCropGray(BYTE flag);
    void KeepSizeCropColor(BYTE flag);
    // RotateByAngle followed by the keep-size crop of depth 24 (`colour`)
    // or 8 and the canvas's release, for a turn that moves no pixel (an
    // angle of zero): the working image stays where it is. False, with
    // nothing done, for any other angle or when the crop would not take the
    // canvas the turn makes.
    bool KeepSizeWithoutTurning(double angle, bool colour);

    // ---- Centring ----
    // Centre the result horizontally (direction bit 0) or vertically (bit
    // 1), measured on an image of the result's size and depth.
    void CenterHorizontalGray(float ratio, const BYTE* measure, std::int32_t directionBits);
    void CenterVerticalGray(float ratio, const BYTE* measure, std::int32_t directionBits);
    void CenterHorizontalColor(float ratio, const BYTE* measure, std::int32_t directionBits);
    void CenterVerticalColor(float ratio, const BYTE* measure, std::int32_t directionBits);

    // ---- Cutting ----
    // Cut white margins of the result (24-bit through its grey values) with
    // margins in pixels; the threshold comes from cutwhite/threholdtype and
    // cutwhite/threhold. Nothing when run is 0.
    void CutWhiteMarginsColor(BYTE run, std::int32_t left, std::int32_t right, std::int32_t top, std::int32_t bottom,
                              float ratio);
    void CutWhiteMarginsGray(BYTE run, std::int32_t left, std::int32_t right, std::int32_t top, std::int32_t bottom,
                             float ratio);
    // Cut the edges of a colour result by its background colour.
    void CutEdgesByBkColor(const cutting::CutByBkColorParams& params);
    static void BinarizeAtMeanColor(BYTE* bits, std::int32_t w, std::int32_t h);
    static bool IsMostlyWhite(const BYTE* bits, std::int32_t w, std::int32_t h);

    // ---- Stains, borders, black board and binding holes ----
    // Stains or black borders, then binding holes, by their gates (the scan
    // switches in run type 4) with the settings' values.
    void RemoveStainsBordersAndHoles(const std::wstring& name);
    void RemoveBlackBoardColor(cleanup::BlackBoardRecord record);
    void RemoveBlackBoardGray(cleanup::BlackBoardRecord record);
    void RemoveBindHolesColor(const BindHoleOptions& options, const std::wstring& name);
    void RemoveBindHolesGray(const BindHoleOptions& options, const std::wstring& name);
    // The working images as the clean-up steps take them.
    cleanup::Images WorkingImages() const;

    // ---- Fields, in the order of the object's description ----
    CRaster codecImage;               // decodes the input; holds no pixels between steps
    PixelBuffer fileBytes;            // the whole input file
    std::size_t fileSize = 0;
    PixelBuffer greyImage;            // 8-bit grey working image
    PixelBuffer colourImage;          // 24-bit colour working image (24/32-bit sources)
    PixelBuffer binaryImage;          // binary image of the skew search and detection
    PixelBuffer oneBitCopy;           // rows of a 1-bit source while loading
    PixelBuffer contrastCopy;         // auto-contrasted copy for skew method 2
    std::int32_t contrastDepth = 8;   // its bits per pixel: 24 (copy of the colour image) or 8
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t workingDepth = 0;    // 8 after every successful load
    std::int32_t sourceDepth = 0;     // 1, 8 or 24 (a 32-bit source counts as 24)
    BYTE multiPageSource = 0;         // 1 when decoded as TIFF
    std::int32_t sourceCompression = 0;  // TIFF compression code of the input
    PixelBuffer canvas;
    std::int32_t canvasWidth = 0;
    std::int32_t canvasHeight = 0;
    BYTE* result = nullptr;           // borrowed: the image that is saved
    std::int32_t resultWidth = 0;
    std::int32_t resultHeight = 0;
    BYTE sourceFileHeader[14] = {};   // BMP file header of the decoded source
    BYTE sourceInfoHeader[44] = {};   // its info header and first palette entry
    RunType runType = RUN_DESKEW_METHOD_0;
    float lowClip = 0.1f;             // auto-contrast clip percentages
    float highClip = 0.1f;
    CToneCurve darkeningCurve;        // curve of ApplyDarkeningCurve
    CToneCurve secondCurve;           // initialised and released, used by no step
    CBkColorRemover bkColorRemover;
    CPhotoRegionFinder photoFinder;   // its rectangles are the protected rectangles
    PixelBuffer sourceHeaderCopy;     // the source BMP's bytes before its pixels
    std::size_t sourceHeaderSize = 0;
    CTextFilter textFilter;
    PixelBuffer cutScratch;
    PixelBuffer colourCut;
    PixelBuffer whiteCut;
    std::int32_t boxLeft = -1;
    std::int32_t boxRight = -1;
    std::int32_t boxTop = -1;         // rows in memory order
    std::int32_t boxBottom = -1;
    BYTE mostlyWhite = 0;
    CTextComponentAnalyzer textAnalyser;
    std::wstring outputFolder;
    std::wstring outputName;          // extension included
    std::int32_t resultDepth = 0;     // 1, 8 or 24: how the result is saved
    std::wstring sourcePath;
    std::int32_t quickSteps = 0;      // bit 0 deskew, bit 1 background removal
    ImageFileType fileType = FILE_TYPE_JPEG;
    BYTE needsProcessing = 0;         // detection result
    CStainBorderRemover stainBorderRemover;  // its comparison copy is read by SaveResult
    std::int32_t dpiX = 300;
    std::int32_t dpiY = 300;
    CBindHoleRemover holeRemover;     // its comparison copy is read by SaveResult
    PixelBuffer sizeCanvas;
    std::int32_t pageCount = 0;
    std::int32_t currentPage = -1;
    CRedSealEngine redSealEngine;
    CBlankPageDetector blankDetector;  // its result says whether the page is blank
    // Runs with 24 bits per pixel, 300 dpi, target colour 0xC5F9FE and 5
    // passes unless told otherwise (its parameter record's defaults).
    CBkColorChanger colourChanger;
    CTextDirectionDetector directionDetector;
    PixelBuffer turnCanvas;
    // The seal tool's drawing surface and texts (released by ReleaseBuffers).
    SealCanvas sealCanvas;
    OutputPathMode outputPathMode = OUTPUT_TO_FOLDER;
    std::wstring explicitOutputPath;
    // The run's rule for its results (folders made through it, its input
    // files never replaced); none outside a batch run.
    std::shared_ptr<const IOutputGuard> outputGuard;

    // The skew search: its counting tables (while a search runs) and the
    // skew state it leaves (skewSearcher.skewAngle, ...), which the
    // detection, the rotation and the callers read there. Then the depth of
    // the canvas (8 or 24).
    skew::SkewSearcher skewSearcher;
    std::int32_t canvasDepth = 0;

    // Why the current file cannot be finished as its settings ask (a fixed
    // output size that cannot be made); empty while nothing stands in the
    // way. A page that sets it fails the file: ProcessFile returns false
    // and nothing of the file is kept.
    std::wstring failReason;

    // Pages of a multi-page file dropped as blank by SaveTiffPage, and the
    // page files written so far.
    std::vector<BYTE> droppedPages;
    std::int32_t keptPageCount = 0;

private:
    // The two fixed-output-size forms.
    void FitOutputSize(int bitsPerPixel, std::int32_t targetWidth, std::int32_t targetHeight, BYTE force);
    // The white-margin check of the detection over a binarised result.
    void CheckWhiteMargins(int bitsPerPixel);
    // A comparison copy an engine painted its marks into.
    struct ComparisonImage {
        const BYTE* bits = nullptr;
        std::int32_t width = 0;
        std::int32_t height = 0;
        std::int32_t bitsPerPixel = 0;  // 8 or 24
        bool marked = false;            // the engine's mark flag of its last run
    };
    ComparisonImage StainComparison() const;
    ComparisonImage HoleComparison() const;
    // The blank-page detector's result for the current page.
    bool PageFoundBlank() const;

    // Saves an image under `path` by the format rules (MakeSaveImage, then
    // WriteSaveImage).
    bool SaveImage(SaveKind kind, const BYTE* bits, std::int32_t w, std::int32_t h, const std::wstring& path);
    // Where a save of (folder, name) goes: folder + "/" + name after making
    // the folder (one level), or the explicit path in output path mode 0.
    std::wstring OutputPathFor(const std::wstring& folder, const std::wstring& name);
    // MakeOutputFolder for a save: a folder that cannot be made gives the
    // save its reason.
    bool MakeFolderForSave(const std::wstring& folder);
    // Keeps the system error (errno) of a save's first failure.
    void NoteSaveError(int error);
    bool SaveSinglePage();
    bool AssembleMultiPage();
    bool CopyDetectedSource();
    bool MakeTempPageFolder();
    void RemoveTempPageFolder();
    // Leaves the page folder and its pages on disk (the output could not be
    // written) and lets go of it.
    void KeepTempPageFolder();
    bool DecodeCurrentPage(BYTE first);
    // The colour working image of a page decoded at 1 or 8 bits: the page's
    // own colours (a palette page keeps them) or its grey levels.
    bool MakeColourWorkingImage(const std::wstring& path);
    // Lays the drawn seal onto the colour working image at `layout`.
    void CompositeSeal(const SealLayout& layout);

    // Makes the output folder (every level) through the guard.
    bool MakeOutputFolder(const std::wstring& folder) const;
    // False when the guard forbids replacing or removing `path`.
    bool MayReplace(const std::wstring& path) const;

    int saveError_ = 0;                // errno of the current save's first failure
    std::wstring tempPageFolderMade_;  // the page folder this processor created
    files::FolderLock tempPageLock_;   // held while the page folder is in use
};
