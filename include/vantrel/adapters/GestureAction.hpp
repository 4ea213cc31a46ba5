#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

namespace vantrel {

/// The gesture an adapter is carrying out, from the moment a pan begins until it ends in any way (or
/// another gesture is handled). Only the camera orbit, the camera move and the model move are entered
/// by the canvas; the others are kept for adapters that rotate models by gesture.
enum class GestureAction {
    cameraRotate,   ///< Two fingers orbit the camera.
    cameraMove,     ///< One finger moves the orbit centre.
    cameraZoom,     ///< A pinch zooms the camera.
    modelRotateXY,  ///< A model turns about its horizontal axes.
    modelRotateZ,   ///< A model turns about its vertical axis.
    modelMove,      ///< One finger moves the selected model.
};

}  // namespace vantrel

#pragma GCC visibility pop
