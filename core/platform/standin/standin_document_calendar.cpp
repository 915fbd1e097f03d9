// One object of "calendars".
#include "standin_document_parts.h"

namespace vantrel::standin {

void readCalendarValue(const DocumentCursor& cursor, Slot slot, const Scalar& value,
                       DocumentCalendar& calendar) {
  switch (slot) {
    case Slot::calendarId:
      calendar.identifier = cursor.optionalText(slot, value);
      break;
    case Slot::calendarTitle:
      calendar.title = cursor.optionalText(slot, value);
      break;
    case Slot::calendarSource:
      calendar.sourceTitle = cursor.optionalText(slot, value);
      break;
    case Slot::calendarColor:
      cursor.null(slot, value);
      calendar.colorComponents.reset();
      break;
    case Slot::colorComponent:
      calendar.colorComponents->push_back(cursor.number(slot, value));
      break;
    default:
      break;
  }
}

}  // namespace vantrel::standin
