// Open failures to message numbers.
#include "recio/units/open_failure.h"

#include "recio/stop/messages.h"

namespace recio {

std::int32_t messageForOpenFailure(platform::Failure failure) {
  switch (failure) {
    case platform::Failure::None:
      return 0;
    case platform::Failure::NotFound:
      return kMsgFileNotFound;
    case platform::Failure::Denied:
      return kMsgPermissionDenied;
    case platform::Failure::BadName:
      return kMsgFileNameError;
    case platform::Failure::NoDevice:
      return kMsgNoSuchDevice;
    case platform::Failure::Other:
      return kMsgOpenFailure;
  }
  return kMsgOpenFailure;
}

}  // namespace recio
