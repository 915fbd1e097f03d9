/**
 * The calendars and the events of [startIso, endIso) as a compact JSON
 * document, read only when full calendar access is granted already (it never
 * asks). Both dates are ISO-8601 date-times with a zone, the start strictly
 * before the end.
 *
 * @throws Error "snapshot(startIso, endIso) requires two strings." for fewer
 *   than two arguments, a non-string, or a string holding a NUL character;
 *   otherwise an Error whose message says why (bad dates, access not granted).
 */
export function snapshot(startIso: string, endIso: string): string;

/**
 * The calendar permission of this process as JSON, with the keys "bundleId",
 * "canRead", "executablePath" and "status" (in no fixed order).
 *
 * @throws Error "Calendar diagnostics are unavailable."
 */
export function diagnostics(): string;

/**
 * Asks macOS for full calendar access. Resolves with true once access is
 * granted; rejects with an Error whose message tells the user where to grant
 * it. Always settles on a later turn of the event loop.
 */
export function requestAccess(): Promise<true>;
