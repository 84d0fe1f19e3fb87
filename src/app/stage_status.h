// How a stage that handles its own errors ended.
#pragma once

namespace app {

enum class StageStatus { Ok, NotFound, ReadError, TooShort };

}  // namespace app
