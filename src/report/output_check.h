// The check that a report (kav_zur-view's, the Python module's) does not
// overwrite the structure it reads: file identity (device and inode), so that
// another name, a link or a hard link of the input counts as the input.
#pragma once

#include <filesystem>
#include <string>

// The name of the report file in `outputDir` that is the file `input`, or
// "" when none is (or `input` cannot be looked at).
std::string reportFileThatIsInput(const std::filesystem::path& input,
                                  const std::filesystem::path& outputDir);
