#pragma once
// The report file's path as the settings give it, made absolute: a bare name goes beside the
// executable, a path from the drive's root onto the executable's drive (or network share),
// "\.\" and "\..\" are resolved (never above the first two characters). Platform-free.

#include <string>

namespace crash {

// `exeFolder` ends with "\"; `exeRoot` is "C:\" or "\\server\share\".
std::u16string AbsolutePath(const std::u16string& path, const std::u16string& exeFolder,
                            const std::u16string& exeRoot);

} // namespace crash
