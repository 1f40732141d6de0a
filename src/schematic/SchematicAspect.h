#pragma once

// The overview frame keeps width = 1.7 x height while its border is dragged, so that the picture keeps
// roughly its own proportion. Sizes are whole pixels; results are truncated.
namespace SchematicAspect {

// Which part of the border the user drags: an edge that changes only the width (left, right), one that
// changes only the height (top, bottom), or a corner.
enum class Drag { WidthEdge, HeightEdge, Corner };

struct Size {
    int width = 0;
    int height = 0;
    bool operator==(const Size&) const = default;
};

// The size the frame takes for the dragged size: a width edge sets the height to width / 1.7 (the bottom
// edge moves), a height edge sets the width to height x 1.7 (the right edge moves), a corner does the
// first when width >= 1.7 x height and the second otherwise.
Size Apply(Drag drag, Size dragged);

// The drag that turned `before` into `after`: width only, height only, or both (a corner). Nothing when
// the size did not change.
bool DragBetween(Size before, Size after, Drag& drag);

} // namespace SchematicAspect
