#include "schematic/SchematicAspect.h"

namespace SchematicAspect {

// 1.7 as 17 / 10 in integers, so that results truncate exactly as the rule says.
Size Apply(Drag drag, Size s) {
    if (drag == Drag::Corner)
        drag = 10L * s.width >= 17L * s.height ? Drag::WidthEdge : Drag::HeightEdge;
    if (drag == Drag::WidthEdge)
        return {s.width, static_cast<int>(10L * s.width / 17)};
    return {static_cast<int>(17L * s.height / 10), s.height};
}

bool DragBetween(Size before, Size after, Drag& drag) {
    const bool width = before.width != after.width;
    const bool height = before.height != after.height;
    if (!width && !height)
        return false;
    drag = width && height ? Drag::Corner : width ? Drag::WidthEdge : Drag::HeightEdge;
    return true;
}

} // namespace SchematicAspect
