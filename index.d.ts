/** One calendar of the store ("calendars" of the snapshot document). */
export interface VantrelCalendar {
  /** Colour as "#" and six upper-case hexadecimal digits, e.g. "#1BADF8". */
  color: string;
  /** The calendar's identifier in the calendar store. */
  id: string;
  /** The calendar's title. */
  name: string;
  /** The title of the account that holds the calendar, e.g. "iCloud". */
  sourceName: string;
}

/** One occurrence of an event ("events" of the snapshot document). */
export interface VantrelEvent {
  /** The `id` of the calendar that holds the event. */
  calendarId: string;
  /** End, e.g. "2026-03-02T10:00:00.000Z": UTC, always with milliseconds. */
  endIso: string;
  /**
   * The store's item identifier, "::", and the start in whole milliseconds
   * since 1970 (negative before it): occurrences of one repeating event share
   * the part before "::".
   */
  id: string;
  isAllDay: boolean;
  /** The trimmed location; absent when the event has none, "" when it is blank. */
  location?: string;
  /** Start, in the form of `endIso`. */
  startIso: string;
  /** The trimmed title, or "Untitled event". */
  title: string;
  /**
   * An all-day event's first day, "YYYY-MM-DD", read in this process's time
   * zone. Set by the typed helpers (readSnapshot, readSnapshotAsync,
   * watchRange) on all-day events only; never in the JSON text.
   */
  startDay?: string;
  /** An all-day event's last day, as `startDay`. */
  endDay?: string;
}

/** The snapshot document: every event calendar, and the events of the range in the store's order. */
export interface VantrelSnapshot {
  calendars: VantrelCalendar[];
  events: VantrelEvent[];
}

/** Whether an event's time counts as busy when others schedule around it. */
export type VantrelAvailability =
  | 'busy'
  | 'free'
  | 'tentative'
  | 'unavailable'
  | 'not-supported'
  | `unknown-${number}`;

/** An event's status; only "canceled" is reliable, the others are informational. */
export type VantrelEventStatus = 'none' | 'confirmed' | 'tentative' | 'canceled' | `unknown-${number}`;

/** A participant's answer to the invitation. */
export type VantrelParticipantStatus =
  | 'unknown'
  | 'pending'
  | 'accepted'
  | 'declined'
  | 'tentative'
  | 'delegated'
  | 'completed'
  | 'in-process'
  | `unknown-${number}`;

export type VantrelParticipantRole =
  | 'unknown'
  | 'required'
  | 'optional'
  | 'chair'
  | 'non-participant'
  | `unknown-${number}`;

export type VantrelParticipantType =
  | 'unknown'
  | 'person'
  | 'room'
  | 'resource'
  | 'group'
  | `unknown-${number}`;

/** The organizer or one attendee of an event. */
export interface VantrelParticipant {
  /** The address of a "mailto:" participant; absent otherwise. */
  email?: string;
  /** True for the participant that is the owner of the calendar's account. */
  isCurrentUser: boolean;
  /** Absent when the store has no name for the participant. */
  name?: string;
  role: VantrelParticipantRole;
  status: VantrelParticipantStatus;
  type: VantrelParticipantType;
  /** The participant's URL when it is not "mailto:"; absent otherwise. */
  url?: string;
}

/** What a meeting note needs of one event ("events" of the details document). */
export interface VantrelEventDetails {
  /** In the store's order; empty when the event has none. */
  attendees: VantrelParticipant[];
  availability: VantrelAvailability;
  /**
   * The first https link to a known meeting service (Zoom, Google Meet,
   * Microsoft Teams, Webex, GoTo, Whereby, Jitsi, FaceTime, Slack huddles,
   * Amazon Chime) in the event's URL, then its location, then its notes.
   */
  conferenceUrl?: string;
  /** The event's `id` in the snapshot of the same range. */
  id: string;
  /** The notes as the store holds them, untrimmed; absent when there are none. */
  notes?: string;
  organizer?: VantrelParticipant;
  /** True when the event repeats. */
  recurring: boolean;
  status: VantrelEventStatus;
  /** The IANA name of the event's time zone; absent for a floating event. */
  timeZone?: string;
  /** The event's own URL; absent when it has none. */
  url?: string;
}

/** The details document: the snapshot's events of the same range, in the same order. */
export interface VantrelDetails {
  events: VantrelEventDetails[];
}

/**
 * The calendar permission: "unknown-" and the number for a status macOS has
 * no label for, and "unknown" when the diagnostics could not be written.
 */
export type VantrelAuthorizationStatus =
  | 'not-determined'
  | 'restricted'
  | 'denied'
  | 'full-access'
  | 'add-events-only'
  | `unknown-${number}`
  | 'unknown';

/**
 * What failed, stable across versions and systems; the README's Errors table
 * gives each code's messages.
 */
export type VantrelErrorCode =
  /** An argument of the wrong kind: not two strings, not a function. */
  | 'ERR_VANTREL_ARGUMENT'
  /** A date without a time or zone, an invalid Date, or a start not before the end. */
  | 'ERR_VANTREL_DATE'
  /** Calendar access is not full access; `status` says what it is. */
  | 'ERR_VANTREL_NOT_GRANTED'
  /** The calendar store failed (on Linux: the stand-in document cannot be used). */
  | 'ERR_VANTREL_STORE_FAILED'
  /** The document is longer than a JavaScript string can be: read shorter ranges. */
  | 'ERR_VANTREL_TOO_LONG'
  /** The access request failed, or could not start. */
  | 'ERR_VANTREL_REQUEST_FAILED'
  /** The store's changes cannot be watched; the message says why. */
  | 'ERR_VANTREL_CANNOT_WATCH'
  /** The diagnostics document could not be made. */
  | 'ERR_VANTREL_DIAGNOSTICS';

/**
 * Every error the module throws or rejects with: `message` is the user-facing
 * text, `code` what failed.
 */
export interface VantrelError extends Error {
  code: VantrelErrorCode;
  /** For ERR_VANTREL_NOT_GRANTED: the permission's label; absent otherwise. */
  status?: VantrelAuthorizationStatus;
}

/** The diagnostics document. */
export interface VantrelDiagnostics {
  /** The bundle identifier of the running app, or "unknown". */
  bundleId: string;
  /** True exactly when `status` is "full-access". */
  canRead: boolean;
  /** The path of the running program, or "unknown". */
  executablePath: string;
  status: VantrelAuthorizationStatus;
  /**
   * Why the store cannot be read, where the status alone does not say: on
   * Linux, the calendar service's missing library or bus name, or what a
   * sandboxed build needs. Absent with full access, and on macOS.
   */
  reason?: string;
}

/**
 * The calendars and the events of [startIso, endIso) as a compact JSON
 * document, read only when full calendar access is granted already (it never
 * asks). Both dates are ISO-8601 date-times with a zone, the start strictly
 * before the end. Ranges of any length are read whole (in four-year windows,
 * an event two windows share kept once).
 *
 * Calendars and events come in the calendar store's order; events are not
 * sorted by start. All-day and floating events (those without a time zone of
 * their own) are placed by the Mac's current time zone: their startIso and
 * endIso, and the millisecond part of their id ("<identifier>::<ms>"), change
 * when the Mac's time zone does. The stand-in store (Linux) gives every event
 * as the instants its document names, whatever TZ says.
 *
 * Runs on the calling (JavaScript) thread until the store has answered, which
 * for a year of a busy calendar can take 100 ms or more; snapshotAsync reads
 * the same document without holding that thread.
 *
 * @throws VantrelError "snapshot(startIso, endIso) requires two strings."
 *   (ERR_VANTREL_ARGUMENT) for fewer than two arguments, a non-string, or a
 *   string holding a NUL character; otherwise one whose message says why and
 *   whose code is ERR_VANTREL_DATE, ERR_VANTREL_NOT_GRANTED,
 *   ERR_VANTREL_STORE_FAILED or ERR_VANTREL_TOO_LONG.
 */
export function snapshot(startIso: string, endIso: string): string;

/**
 * snapshot() on a thread of Node's pool: resolves with exactly the string
 * snapshot() returns for the same store and range, so the JavaScript thread
 * (Electron's main process) keeps serving its event loop while the store
 * answers. It never throws: every failure, argument errors included, rejects
 * with the VantrelError (text and code) snapshot() would throw.
 */
export function snapshotAsync(startIso: string, endIso: string): Promise<string>;

/**
 * What a meeting note needs of the events of [startIso, endIso), as a compact
 * JSON document (VantrelDetails): the same events, in the same order, as the
 * snapshot of the same range, each named by its snapshot `id`, with its
 * attendees, organizer, notes, URL, time zone, availability, status,
 * recurrence and join link. Same dates, permission rule (reads only with
 * full access, never asks), failure texts and four-year windows as the
 * snapshot. Reading attendees costs time, so the snapshot leaves them out:
 * take the snapshot for the view and the details for the note.
 *
 * Runs on a thread of Node's pool. It never throws: every failure rejects,
 * a missing or non-string argument with "detailsAsync(startIso, endIso)
 * requires two strings.".
 */
export function detailsAsync(startIso: string, endIso: string): Promise<string>;

/**
 * The calendar permission of this process as JSON, with the keys "bundleId",
 * "canRead", "executablePath" and "status" (in no fixed order).
 *
 * @throws VantrelError "Calendar diagnostics are unavailable."
 *   (ERR_VANTREL_DIAGNOSTICS)
 */
export function diagnostics(): string;

/**
 * Asks macOS for full calendar access. Resolves with true once access is
 * granted; rejects with a VantrelError: ERR_VANTREL_NOT_GRANTED, whose message
 * tells the user where to grant it and whose status is the label, or
 * ERR_VANTREL_REQUEST_FAILED. Always settles on a later turn of the event loop.
 */
export function requestAccess(): Promise<true>;

/**
 * `snapshot` parsed: Dates are passed as their ISO texts (`toISOString()`).
 *
 * @throws as `snapshot` does.
 */
export function readSnapshot(start: Date | string, end: Date | string): VantrelSnapshot;

/**
 * `snapshotAsync` parsed: the same arguments as `readSnapshot`, read off the
 * JavaScript thread; `options.calendars` reads only those calendars.
 *
 * @returns a promise that rejects as `snapshotAsync` does; it never throws.
 */
export function readSnapshotAsync(
  start: Date | string,
  end: Date | string,
  options?: VantrelReadOptions,
): Promise<VantrelSnapshot>;

/**
 * `detailsAsync` parsed: the same arguments as `readSnapshot`, read off the
 * JavaScript thread; `options.calendars` reads only those calendars' events.
 *
 * @returns a promise that rejects as `detailsAsync` does; it never throws.
 */
export function readDetailsAsync(
  start: Date | string,
  end: Date | string,
  options?: VantrelReadOptions,
): Promise<VantrelDetails>;

/** What the typed reads cover. */
export interface VantrelReadOptions {
  /**
   * The ids of the calendars to read; the document lists only those, and the
   * store is asked for their events alone. An id no calendar has is ignored;
   * an empty array reads nothing. Missing: every calendar.
   */
  calendars?: readonly string[];
}

/** What changed in a watched range since the listener's last call. */
export interface VantrelRangeChange {
  /** Events new to the range, in the store's order; every event on the first call. */
  added: VantrelEvent[];
  /** Events gone from the range, in the order of the last read. */
  removed: VantrelEvent[];
  /**
   * Events whose fields changed, matched by item identifier and original
   * occurrence date: a moved event or occurrence is one pair, with a new `id`.
   */
  changed: { before: VantrelEvent; after: VantrelEvent }[];
  /** A calendar came, went, or changed its name, account or colour (true on the first call). */
  calendarsChanged: boolean;
  /** The range as read now. */
  snapshot: VantrelSnapshot;
}

/**
 * Keeps [start, end) current: reads it off the JavaScript thread, then again
 * after each burst of store changes, and calls `listener(null, change)` with
 * what changed since its last call (on the first call, everything), never
 * for a burst that changed nothing in the range. A failed read calls
 * `listener(error)` and the watch goes on; the next good read then calls the
 * listener even when nothing changed. Otherwise as `watchChanges`: returns
 * the stop function, and a listener that throws is an uncaught exception.
 *
 * @throws TypeError "watchRange(start, end, listener) requires a function.",
 *   TypeError for `options.calendars` that is not an array of strings, or
 *   what `watchChanges` throws.
 */
export function watchRange(
  start: Date | string,
  end: Date | string,
  listener: (error: Error | null, change: VantrelRangeChange | null) => void,
  options?: VantrelReadOptions,
): () => void;

/**
 * `diagnostics` parsed.
 *
 * @throws as `diagnostics` does.
 */
export function readDiagnostics(): VantrelDiagnostics;

/**
 * Calls `listener` on this thread's event loop after the calendar store has
 * changed (events or calendars added, changed or removed, by the user, by
 * sync, or by a change of permission). A burst of changes within 250 ms gives
 * one call; the call carries nothing, so read what you need, for example with
 * a snapshot of the range on screen. A listener that throws, or whose promise
 * rejects, is an uncaught exception (an unhandled rejection), which ends the
 * process unless the app handles those events; then the watch goes on. Catch
 * inside the listener: a read there rejects after access was taken away.
 *
 * While the JavaScript thread is busy, changes wait as one call at most.
 *
 * macOS hands changes to a process only through its main thread's run loop.
 * In Electron's main process Electron turns it, and nothing more runs. In a
 * plain `node` the module turns it (a zero-wait turn every 100 ms on the main
 * thread, woken by a thread of the module's own, never by a JavaScript timer)
 * while a watch runs or an access request is pending on any thread; a
 * worker's watch therefore needs the module loaded on the main thread too. A
 * host that turns that loop itself sets `VANTREL_MAIN_RUN_LOOP=host` in the
 * environment before the module loads, and the module turns nothing.
 *
 * Returns the function that stops the watch: calling it again does nothing,
 * and once it has returned the listener is never called again (it may be
 * called from inside the listener). A watch does not keep the process alive,
 * and a worker that ends stops its own watches. A watch whose stop function
 * is dropped unused is not stopped by collecting it: it runs, and calls its
 * listener, until its thread's environment ends (the worker or the process).
 *
 * @throws VantrelError "watchChanges(listener) requires a function."
 *   (ERR_VANTREL_ARGUMENT), or one (ERR_VANTREL_CANNOT_WATCH) that
 *   starts "Calendar changes cannot be watched" and says why, naming the
 *   store's path where it has one (for example "Calendar changes cannot be
 *   watched (/path/store.json): its directory does not exist."). From a
 *   worker of a process whose main thread has not loaded the module, one that
 *   starts "Calendar changes cannot be watched from this thread".
 */
export function watchChanges(listener: () => void): () => void;
