// Undo and redo for the designer. Every edit (a property changed with all it set off, an object
// added, copied or removed) leaves the report in a state that is recorded whole, as the report
// file it would save; undoing reads the state before back in and runs it as opening would. So an
// undo takes back every consequence an edit carried (names followed, lists swapped, appended
// properties) without each edit knowing how to take itself back.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace orvik {
class AppContext;
}

namespace orvik::design {

class EditHistory {
  public:
    // States are kept as files in `folder` (made when needed); at most `depth` edits back.
    EditHistory(AppContext& context, std::string folder, size_t depth = 100);
    ~EditHistory();
    EditHistory(const EditHistory&) = delete;
    EditHistory& operator=(const EditHistory&) = delete;

    // The report as it stands is where the history starts (after New or Open): what came before
    // can no longer be undone.
    void Start();
    // An edit described by `what` ("Name", "New sheet") has just been made: its outcome is
    // recorded, and what had been undone can no longer be redone. False when the state could not
    // be written (the edit stands, but cannot be undone).
    bool Record(const std::string& what);

    bool CanUndo() const { return current_ > 0; }
    bool CanRedo() const { return current_ + 1 < states_.size(); }
    // What Undo or Redo would take back or do again ("" when nothing).
    std::string UndoText() const;
    std::string RedoText() const;

    // Puts the report back as it was before the last edit (after the next one, for Redo) and
    // runs it; the report stays at its path and is marked modified. False when there was nothing
    // to do or the state could not be read back.
    bool Undo();
    bool Redo();

  private:
    struct State {
        std::string File;
        std::string What;  // the edit that led here ("" for the start)
    };

    bool Restore(const State& state);
    void Drop(size_t from);

    AppContext& context_;
    std::string folder_;
    size_t depth_;
    std::vector<State> states_;
    size_t current_ = 0;
    unsigned long long next_ = 0;
};

}  // namespace orvik::design
