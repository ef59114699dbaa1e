// The wave field's fall: the only state that survives from one frame to the next.
#pragma once

struct DriftState {
    float drift_x;
    float drift_y;
    float fall_speed;
};
