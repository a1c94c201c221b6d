#pragma once

#include <utility>
#include <vector>

namespace orvane {

// Number of entries of every slot table; valid slot numbers are 0 to 9998.
constexpr int SLOT_CAPACITY = 9999;

// Slot holding the point cloud and the stress surface.
constexpr int POINT_CLOUD_SLOT = 888;

constexpr bool isValidSlot(int slot) {
    return slot >= 0 && slot < SLOT_CAPACITY;
}

// A fixed table of object references indexed by slot number. One slot number
// selects the same position in every table, so that an entity's mapper,
// actor and source share it. Every access is bounds-checked: an invalid slot
// reads as an empty reference and is never written.
template <typename Reference> class SlotTable {
public:
    SlotTable() : entries_(SLOT_CAPACITY) {}

    // The entry at `slot`, or an empty reference for an invalid slot.
    Reference get(int slot) const {
        return isValidSlot(slot) ? entries_[static_cast<std::size_t>(slot)] : Reference();
    }

    // Replaces the entry, releasing the old one; false for an invalid slot.
    bool set(int slot, Reference reference) {
        if (!isValidSlot(slot)) {
            return false;
        }
        entries_[static_cast<std::size_t>(slot)] = std::move(reference);
        return true;
    }

private:
    std::vector<Reference> entries_;
};

} // namespace orvane
