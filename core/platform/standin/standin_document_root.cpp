// The document's own members: the status, the bundle and process values, and
// the lists that may be null.
#include "standin_document_parts.h"

namespace vantrel::standin {

void readDocumentValue(const DocumentCursor& cursor, Slot slot, const Scalar& value,
                       DocumentInProgress& into) {
  Document& document = into.document;
  switch (slot) {
    case Slot::status:
      document.status = cursor.integer(slot, value);
      break;
    case Slot::bundleIdentifier:
      document.bundleIdentifier = cursor.optionalText(slot, value);
      break;
    case Slot::executablePath:
      document.executablePath = cursor.optionalText(slot, value);
      into.executablePathGiven = true;
      break;
    case Slot::argument:
      document.arguments.push_back(cursor.text(slot, value));
      break;
    case Slot::request:
      cursor.null(slot, value);
      document.request.reset();
      break;
    case Slot::calendars:
      cursor.null(slot, value);
      document.calendars.reset();
      break;
    case Slot::ignored:
      break;
    default:  // a container was expected
      cursor.wrongType(slot, value);
  }
}

}  // namespace vantrel::standin
