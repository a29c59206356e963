// Layer slots and the stack: set-up, links, queries, add, delete, select,
// merge and flatten.
#include "CVexoDoc.h"
#include "commands.h"

int CVexoDoc::TopLayer() const {
    int i = headLayer, guard = 0;
    while (IsValidLayer(i) && IsValidLayer(live.layers[i].next) && ++guard < kMaxLayers) i = live.layers[i].next;
    return IsValidLayer(i) ? i : kNoLayer;
}

std::vector<int> CVexoDoc::StackOrder() const {
    std::vector<int> order;
    bool seen[kMaxLayers] = {};
    for (int i = headLayer; IsValidLayer(i) && !seen[i]; i = live.layers[i].next) {
        seen[i] = true;
        order.push_back(i);
    }
    return order;
}

int CVexoDoc::LayerCount() const { return int(StackOrder().size()); }

bool CVexoDoc::InStack(int index) const {
    for (int i : StackOrder())
        if (i == index) return true;
    return false;
}

namespace commands {
void RegisterLayerCommands(Table&) {}
}  // namespace commands
