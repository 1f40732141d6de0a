#pragma once

class QPainter;

// The overview's picture of the installation, drawn in the 1672 x 852 coordinate space of the overview's
// item positions: the mains busbar at the top, the feeder down to the load (a drive and its motor) at the
// bottom, the filter's connection branching off to the filter cabinet (reactor, converter, DC link), the
// filter's display on the right. Vector drawing, so it stays sharp at any size.
namespace SchematicPicture {

// The static part, on a white background.
void Draw(QPainter& painter);
// The current transformer on the feeder: between the busbar and the filter's connection (mains side) or
// between the connection and the load (load side).
void DrawCurrentTransformer(QPainter& painter, bool mainsSide);

} // namespace SchematicPicture
