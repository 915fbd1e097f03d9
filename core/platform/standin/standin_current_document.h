// The document that VANTREL_STANDIN_STORE names at this moment. The variable is
// read at every call (or the value a host handed in for this thread, see
// standin_store_variable.h); the parsed document is cached on the file's
// identity (path, device, inode, size, modification and change times to the
// nanosecond), so a rewritten file or another path takes effect at the next
// call while repeated calls on an unchanged file parse it once. A file touched
// in the last few seconds is read again and compared, since a quick rewrite of
// the same size can keep the same coarse times; on Linux only once a watch of
// the file (inotify) has heard a write since it was read, so that a call costs
// the identity check alone however large the document.
#pragma once

#include <memory>
#include <string>

#include "standin_document.h"

namespace vantrel::standin {

// The current document; the unset-variable document when the variable is unset
// or empty. Throws PlatformError ("stand-in store <path>: <problem>") when the
// file cannot be read or is not a valid document. Keys the format does not
// know go to standard error, once per process and document.
std::shared_ptr<const Document> currentDocument();

// As currentDocument, but for the queries that cannot fail (status, bundle,
// arguments): a file that cannot be used gives a broken document
// (Document::problem) that answers the default status, so that the read that
// follows fails with the file's text rather than with a refusal; the problem
// goes to standard error once per process and document, so it is not hidden.
std::shared_ptr<const Document> currentDocumentOrUnset();

// The path the variable names for this thread now, as the two functions above
// read it (a value handed in by the host first); empty when unset.
std::string currentDocumentPath();

// Whether the host handed the variable in for this thread (the Node module
// does, around every call), rather than leaving it to the environment.
bool variableHandedIn();

// While it lives, the two functions above answer `document` on the thread that
// made it, without reading the variable. An access answer runs on a thread of
// its own with the document of its request: a Node host rewrites the variable
// (process.env) on its JavaScript thread at any time, and getenv on one thread
// while setenv runs on another is a data race that can read freed memory.
class ThreadDocument {
 public:
  explicit ThreadDocument(std::shared_ptr<const Document> document);
  ~ThreadDocument();
  ThreadDocument(const ThreadDocument&) = delete;
  ThreadDocument& operator=(const ThreadDocument&) = delete;
};

}  // namespace vantrel::standin
