// The toolkit's screen cursor values, shared by the window toolkit (which
// shows them) and the data-access library's wait cursor (which only asks for
// them through a hook), so that a unit may include both.
#pragma once

enum TCursor { crDefault = 0, crArrow = -2, crHourGlass = -11, crSQLWait = -17, crHandPoint = -21 };
