// What a directory asks of the cursors registered with it.
//
// Cursors belong to their callers and lie above the directory, yet a directory can be freed under
// an open cursor (its session closed, or the engine reset). Before it goes, the directory tells
// each of its cursors, which give their tables back and drop every reference to the directory.
#pragma once

namespace cairn {

class TDirectoryCursor {
 public:
  // The directory is being reset or freed: close, and never touch the directory again. Must not
  // throw, and must not call back into the directory's cursor list.
  virtual void DetachFromDirectory() noexcept = 0;

  virtual ~TDirectoryCursor() = default;
};

}  // namespace cairn
