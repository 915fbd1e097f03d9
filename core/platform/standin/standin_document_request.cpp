// The "request" object: how a full-access request is answered.
#include <nlohmann/json.hpp>

#include "standin_document_parts.h"

namespace vantrel::standin {

void readRequestValue(const DocumentCursor& cursor, Slot slot, const Scalar& value,
                      RequestInProgress& request) {
  switch (slot) {
    case Slot::requestGranted:
      request.answer.granted = cursor.flag(slot, value);
      break;
    case Slot::requestError:
      request.answer.error = cursor.optionalText(slot, value);
      break;
    case Slot::requestStatusAfter:
      request.answer.statusAfter = cursor.integer(slot, value);
      request.statusAfterGiven = true;
      break;
    case Slot::requestDelayMs:
      request.answer.delayMs = cursor.nonNegativeNumber(slot, value);
      break;
    case Slot::requestStatusLagMs:
      request.answer.statusLagMs = cursor.nonNegativeNumber(slot, value);
      break;
    case Slot::requestThread: {
      const std::string name = cursor.text(slot, value);
      if (name != "other" && name != "caller") {
        cursor.fail(nlohmann::json(name).dump() + R"( is neither "other" nor "caller")");
      }
      request.answer.onCallerThread = name == "caller";
      break;
    }
    default:
      break;
  }
}

AccessAnswer finishRequest(const RequestInProgress& request) {
  AccessAnswer answer = request.answer;
  if (!request.statusAfterGiven) {
    answer.statusAfter = statusNumber(answer.granted ? platform::AuthorizationStatus::fullAccess
                                                     : platform::AuthorizationStatus::denied);
  }
  return answer;
}

}  // namespace vantrel::standin
