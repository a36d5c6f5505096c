// How the next token file write is to go wrong, when a test asks for it.
#pragma once

namespace softtoken {

enum class WriteFault { None, FailHalfway, CrashHalfway };

}  // namespace softtoken
