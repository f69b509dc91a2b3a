// The walk over nested tables, with a stack of its own. Each table's
// descriptors are walked in order; a nested table is opened on top of the
// stack, and when its walk is done, what became of it is handed to the
// table below:
//  - prepared in place: nothing more to do. When the parent names one
//    table from several descriptors, the table is noted as finished (if
//    its walk was clean, or wrote nothing at all; see WalkedTables), and
//    the other descriptors skip it.
//  - moved (expanded, or a nested table of it moved): the parent becomes
//    a moved table too, with this one as a replacement. All of a parent's
//    replacements are laid out in one rebuild at the end.
//
// Laying a parent out once, after all its nested tables are prepared,
// gives the bytes of rebuilding it at each moved table in turn (and
// walking on in the rebuilt block), as long as nothing reads an entry's
// bytes after that first rebuild would have copied them, other than the
// entry itself. Entries apart from one another cannot see each other's
// changes. A table that shares a nested table between descriptors, or
// whose entries overlap, or that lies under such a table, is therefore
// rebuilt into a block of its own at its first moved nested table (its
// other entries copied as they are at that moment), and its walk goes on
// there, where every entry has bytes of its own. So is a table holding a
// nested table shorter than its header, of which a rebuild copies less
// than its preparation reads.
#include <utility>

#include "tableobj/preparation.h"

namespace dinfo {
namespace {

// Other entries may read the bytes of a nested table of such a table.
constexpr std::uint8_t SeenByOthers = SharedNestedTables | OverlappingEntries | WatchedRange;
constexpr std::uint8_t RebuildAtFirstMove = SeenByOthers | ShortNestedTables;

// A frame's table becomes a moved table lying where it is, if not one yet.
bool EnsureMoved(Preparation *preparation, WalkFrame *frame) {
  if (frame->moved < 0) frame->moved = NewMovedTable(preparation, frame->object, frame->layout, {});
  return frame->moved >= 0;
}

// Rebuilds the frame's table with its first moved nested table in place
// and walks on in the new block. Its entries are read afresh there and
// not assumed apart: a header-only nested table copied with no room of
// its own shares its place with the next entry.
Fault RebuildNow(Preparation *preparation, WalkFrame *frame, std::int32_t entryIndex, std::int32_t child) {
  if (!EnsureMoved(preparation, frame)) return Fault::NoMemory;
  const Fault fault = AddReplacement(preparation, frame->moved, entryIndex, child);
  if (fault != Fault::None) return fault;
  const std::int64_t size = preparation->moved[frame->moved].size;
  if (!MovedTableSizeFits(preparation->moved[frame->moved])) return Fault::BadData;
  if (!TakeWork(&preparation->budget, size)) return Fault::TooMuchWork;
  OwnedBlock owned = TakeBlockToOverwrite(&preparation->budget, size);
  if (owned.empty()) return Fault::NoMemory;
  const Block rebuilt = owned.get();
  const bool written = WriteMovedTable(preparation, frame->moved, rebuilt, true);
  TableLayout layout{};
  const std::int32_t moved = NewMovedTable(preparation, rebuilt, layout, std::move(owned));
  if (moved < 0) return Fault::NoMemory;
  if (!written || !ReadTableLayout(rebuilt, &layout) || !EntriesFit(layout)) return Fault::BadData;
  preparation->moved[moved].layout = layout;
  frame->object = rebuilt;
  frame->layout = layout;
  frame->block = preparation->blocksNumbered++;
  frame->offset = 0;
  frame->moved = moved;
  // Only the rebuilt table's own entries can see its bytes now.
  return ShapeOfEntries(layout, &preparation->ranges, &preparation->budget, &frame->shape);
}

// Hands what became of a finished nested table to the frame below.
Fault Deliver(Preparation *preparation, const WalkFrame &done, bool clean) {
  WalkFrame &parent = preparation->frames.Back();
  if (done.moved < 0) {
    if (!clean) {
      parent.shape &= std::uint8_t(~FinishedClean);
    } else if ((parent.shape & SharedNestedTables) != 0 &&
               !preparation->walked.Add(parent.block, done.offset)) {
      return Fault::NoMemory;
    }
    return Fault::None;
  }
  if (!MovedTableSizeFits(preparation->moved[done.moved])) return Fault::BadData;
  parent.shape &= std::uint8_t(~FinishedClean);
  if ((parent.shape & RebuildAtFirstMove) != 0) return RebuildNow(preparation, &parent, done.entryIndex, done.moved);
  if (!EnsureMoved(preparation, &parent)) return Fault::NoMemory;
  return AddReplacement(preparation, parent.moved, done.entryIndex, done.moved);
}

// Opens the nested table of the top frame's descriptor `index` on the
// stack, unless it is known to be finished. In a table whose entries
// overlap, preparing one may change what another walk left finished, so
// the finished tables are forgotten there if anything was written since
// they last were. In a rebuilt parent, a nested table shorter than its
// header may have been placed where its header passes the parent's end.
Fault VisitNested(Preparation *preparation, std::int32_t index, const CheckedEntry &checked) {
  const WalkFrame parent = preparation->frames.Back();
  const std::int64_t offset = parent.offset + checked.entry().location;
  if ((parent.shape & OverlappingEntries) != 0 && preparation->changes != preparation->changesWhenForgotten) {
    preparation->walked.Forget();
    preparation->changesWhenForgotten = preparation->changes;
  }
  if (preparation->walked.Has(parent.block, offset)) return Fault::None;
  const Block area = checked.In(parent.object);
  WalkFrame child{};
  child.offset = offset;
  child.moved = -1;
  child.entryIndex = index;
  bool walk = false;
  const bool watched = (parent.shape & SeenByOthers) != 0;
  const Fault fault = OpenTable(preparation, area, parent.block, offset, watched, &child, &walk);
  if (fault != Fault::None) return fault;
  if (!walk) return Deliver(preparation, child, true);
  return preparation->frames.Push(child) ? Fault::None : Fault::NoMemory;
}

}  // namespace

Fault WalkNestedTables(Preparation *preparation, const WalkFrame &root, std::int32_t *rootMoved) {
  GrowingArray<WalkFrame> &frames = preparation->frames;
  if (!frames.Push(root)) return Fault::NoMemory;
  while (frames.Size() > 0) {
    WalkFrame &top = frames.Back();
    if (top.next == top.layout.descriptorCount()) {
      const WalkFrame done = top;
      frames.Pop();
      if (frames.Size() == 0) {
        *rootMoved = done.moved;
        return done.moved < 0 || MovedTableSizeFits(preparation->moved[done.moved]) ? Fault::None : Fault::BadData;
      }
      // A walk that wrote nothing left its table as a second walk would.
      const bool clean = (done.shape & FinishedClean) != 0 || done.changesAtOpen == preparation->changes;
      const Fault fault = Deliver(preparation, done, clean);
      if (fault != Fault::None) return fault;
      continue;
    }
    const std::int32_t index = top.next++;
    if (!TakeWork(&preparation->budget, DescriptorWork)) return Fault::TooMuchWork;
    if (ReadEntry(top.layout, index).kind != EntryKind::NestedTable) continue;
    CheckedEntry checked;
    if (!CheckEntry(top.layout, index, &checked)) return Fault::BadData;
    const Fault fault = VisitNested(preparation, index, checked);
    if (fault != Fault::None) return fault;
  }
  return Fault::None;
}

}  // namespace dinfo
