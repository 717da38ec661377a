// The run sequence of chgtune: banner, options, link, model, then exactly one path; always ends
// through exitProgram.
#pragma once

namespace sunlink {

[[noreturn]] void runChgtune(int argc, char* argv[]);

}  // namespace sunlink
