// Window messages of the main window that the batch engine handles, and the
// run kinds and states it shares with the windows.
#pragma once

#include "platform/core/Messages.h"
#include "processing/processor/ImageProcessor.h"  // WM_IMAGE_PROCESSED, the run types

// Progress with wParam = files done (no sender in the program; handled like
// a progress report).
constexpr UINT WM_PROGRESS = WM_USER + 100;
// Sent by a worker: read the whole input file into the processor named by
// wParam. Result 1 when it was read, else 0.
constexpr UINT WM_LOAD_FILE = WM_USER + 102;
// Posted by the last auto-mode worker to end.
constexpr UINT WM_WORKERS_ENDED = WM_USER + 103;
// Posted by a worker whose file could not be read or decoded: wParam = the
// processor, lParam = the item index. The bookkeeping of a failed file (count,
// list, progress, end of the run) is done on the user-interface thread.
constexpr UINT WM_FILE_FAILED = WM_USER + 110;
// Posted by a worker when it takes a file: wParam = the run's number, lParam
// = the item index. The status line shows the item's path.
constexpr UINT WM_WORKER_STATUS = WM_USER + 111;
// Posted by a worker when it has written the result of its file (the user-
// interface thread asked for it on WM_IMAGE_PROCESSED): wParam = the
// processor, lParam = 1 when everything was written, else 0.
constexpr UINT WM_FILE_SAVED = WM_USER + 113;
// Posted by a worker thread as it exits, so a loop waiting for the workers
// looks again at once. Nothing else is done with it.
constexpr UINT WM_WORKER_EXITED = WM_USER + 112;

// RunState of the main window.
constexpr int RUN_STATE_IDLE = 0;
constexpr int RUN_STATE_PLAIN = 1;     // a plain run; the start button is disabled
constexpr int RUN_STATE_STOPPABLE = 2; // auto-detection or scan-and-process

// AutoMode of the main window.
constexpr int AUTO_MODE_OFF = 0;
constexpr int AUTO_MODE_DETECT_NEW = 1;
constexpr int AUTO_MODE_SCAN = 2;

