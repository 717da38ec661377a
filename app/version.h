// The program's version, as the banner, --version and the files a download writes give it.
#pragma once

namespace sunlink {

constexpr const char* programVersion = "1.17";

}  // namespace sunlink
