// A source tree for whole batch runs: real images of each input format, one
// file that is no image, and the entries the run's skip rules know.
//
//   <root>/a.jpg                         RGB JPEG 64 x 48
//   <root>/B.PNG                         grey PNG 40 x 30
//   <root>/bad.jpg                       not an image: fails
//   <root>/notes.txt                     never taken
//   <root>/sub/c.tif                     three-page TIFF (grey, RGB, grey)
//   <root>/sub/deep/d.Tif                RGB TIFF, LZW
//   <root>/sub/sub/f.jpg                 in a result folder of an earlier run
//                                        (named like its parent, with the
//                                        result-folder marker)
//   <root>/sub/x_tmpformultiframe/e.jpg  in a multi-page page folder
// The pictures carry 150 dpi.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace testdata {

// Writes the tree; false when a file could not be written.
bool WriteBatchTree(const std::string& root);

// Paths below the root of the files a run takes, in the run's order, for
// the source-folder layout (f.jpg is taken for an earlier result there) and
// the new-folder layout.
std::vector<std::string> BatchTreeQueueSourceLayout();
std::vector<std::string> BatchTreeQueueNewFolder();
// The file that fails.
inline const char* const kBatchTreeBadFile = "bad.jpg";

// Checks the results of a run over the tree: each taken file but bad.jpg has
// an output (at outputOf(path below the root)) in its input's format, size
// and page count, carrying `dpi`; bad.jpg and the skipped files have none;
// no "_tmpformultiframe" folder is left beside the outputs. Returns the
// problems found (empty when everything holds).
std::vector<std::string> BatchTreeOutputProblems(const std::vector<std::string>& taken,
                                                 const std::function<std::string(const std::string&)>& outputOf,
                                                 int dpi);

}  // namespace testdata
