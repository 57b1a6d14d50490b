#pragma once
// A value of a new case (project, area, version, priority...) held against the choices a bug
// tracker offers. Lists are UTF-8, as the trackers' replies give them; an id list, when there
// is one, gives the id of the entry at the same index. Letter case of ASCII letters is
// ignored. Platform-free.

#include <string>
#include <string_view>
#include <vector>

namespace crash {

// When `value` names an entry, it becomes that entry's id (or the entry itself, without ids)
// and the result is true. Otherwise, when there are entries, it becomes the first one's id (or
// the first entry) and the result is false; without entries it stays, and the result is false.
bool CheckListValue(std::string& value, const std::vector<std::string>& list,
                    const std::vector<std::string>& ids);

// The same among the entries of one project (`projects` gives each entry's project): the entry
// that matches the value within the project (true); else the project's first entry replaces the
// value (false); else the value stays (false).
bool CheckDoubleListValue(std::string& value, const std::vector<std::string>& list,
                          const std::vector<std::string>& ids, const std::vector<std::string>& projects,
                          std::string_view project);

} // namespace crash
