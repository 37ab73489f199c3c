// Document persistence: the platform opens the workspace document, hosts it, and saves it.
// The file is a snapshot followed by appended change chunks, each with its length and checksum;
// a torn final chunk is ignored, a file that cannot be decoded is renamed aside (never
// overwritten), and an exclusive lock on the file keeps a second process out.
// UI thread: the hosting loop owns the returned handle.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/base/result.h"
#include "platform/crdt/document.h"

namespace zarn_ui::persist {

// What the platform passes through the application's document-opening callback.
struct OpenContext {
  std::string app_id;  // names the application in log lines
};
struct OpenOptions {
  // Saving waits this long after the last change, so a burst of edits costs one append.
  std::chrono::milliseconds debounce{250};
};

class DocumentHandle {
 public:
  virtual ~DocumentHandle() = default;
  virtual crdt::Document& doc() = 0;
  // The backing file, or empty for an in-memory document.
  virtual const std::filesystem::path& path() const = 0;
  // Commits and writes whatever changed since the last save; a no-op when nothing did.
  virtual zarn::Result<void> save() = 0;
  // Tells the handle the document may have changed; saving follows after the debounce.
  virtual void note_changed(std::chrono::steady_clock::time_point now) = 0;
  // Saves when a change is pending and the debounce has passed; call from the event loop.
  virtual zarn::Result<void> save_if_due(std::chrono::steady_clock::time_point now) = 0;
  // When the loop should wake for save_if_due, if a save is pending.
  virtual std::optional<std::chrono::steady_clock::time_point> save_deadline() const = 0;
};

// An in-memory document; nothing is saved.
zarn::Result<std::unique_ptr<DocumentHandle>> open(const OpenContext& ctx,
                                                  const OpenOptions& options);

// Loads the file at `path` or creates it (and its parent folders). Fails with a clear message
// when another process holds the file's lock or the folder cannot be written.
zarn::Result<std::unique_ptr<DocumentHandle>> open_migrating(const OpenContext& ctx,
                                                            const OpenOptions& options,
                                                            const std::filesystem::path& path);

}  // namespace zarn_ui::persist
