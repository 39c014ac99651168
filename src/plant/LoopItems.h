#pragma once
// The items that halvetra-plant offers for its cascade loop: their node ids,
// names, data types and access, and how a value read from or written to an
// item maps onto the loop. No networking here; the server turns these into
// variable nodes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <variant>

#include "plant/CascadeLoop.h"

namespace halvetra::plant {

enum class ItemId {
    MV1,
    MV2,
    U1,
    U2,
    Y1,
    Y2,
    InnerP,
    InnerI,
    InnerD,
    InnerSetpoint,
    InnerMA,
    InnerManual,
    InnerAutomatic,
    OuterP,
    OuterI,
    OuterD,
    OuterSetpoint,
    OuterMA,
    OuterManual,
    OuterAutomatic,
};
inline constexpr std::size_t kItemCount = 20;

enum class ItemKind { Double, Int32, Boolean };
using ItemValue = std::variant<double, std::int32_t, bool>;

// The objects that hold the items: the loop and its two controllers.
struct FolderInfo {
    const char* nodeId;    // string identifier in the plant's namespace
    const char* parentId;  // nullptr: the Objects folder
    const char* name;      // browse and display name
    const char* description;
};

struct ItemInfo {
    ItemId id;
    const char* nodeId;    // string identifier in the plant's namespace, e.g. "Loop1.Y1"
    const char* folderId;  // the object that holds it
    const char* name;      // browse and display name, e.g. "Y1"
    const char* description;
    ItemKind kind;
    bool writable;
};

// The plant's namespace URI; its index on the server is 1.
inline constexpr const char* kPlantNamespaceUri = "urn:halvetra:plant";

const std::array<FolderInfo, 3>& loopFolders();
// Indexed by ItemId.
const std::array<ItemInfo, kItemCount>& loopItems();
const ItemInfo& itemInfo(ItemId id);

// The item's present value, of the item's kind.
ItemValue readItem(const CascadeLoop& loop, ItemId id);

// Applies a client's write. Returns false when the loop does not take the
// value (wrong kind, not finite, an M/A value other than 0 and 1, a command
// item written false, MV1 while the inner controller is in automatic, ...):
// the item then shows the loop's value again at the next update.
bool writeItem(CascadeLoop& loop, ItemId id, const ItemValue& value);

}  // namespace halvetra::plant
