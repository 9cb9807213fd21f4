#include "linux/artwork/skin_bitmaps.h"

#include "linux/artwork/button_faces.h"
#include "linux/artwork/skin.h"

namespace artwork {

const std::vector<int>& SkinBitmapIds() {
    static const std::vector<int> ids{129, 130, 131, 132, 133, 134, 135, 136, 137, 154, 172};
    return ids;
}

QImage DrawSkinBitmap(int id, const DeviceGrid& grid) {
    switch (id) {
        case 129:
            return Skin(grid);
        case 130:
            return TakePictureFace(NormalFace(), grid);
        case 131:
            return TakePictureFace(HoverFace(), grid);
        case 132:
            return DeleteFace(NormalFace(), grid);
        case 133:
            return DeleteFace(HoverFace(), grid);
        case 134:
            return ResolutionFace(NormalFace(), grid);
        case 135:
            return ResolutionFace(HoverFace(), grid);
        case 136:
            return PropertiesFace(NormalFace(), grid);
        case 137:
            return PropertiesFace(HoverFace(), grid);
        case 154:
            return DisabledDeleteFace(grid);
        case 172:
            return SelectedThumbnailFrame(grid);
        default:
            return QImage();
    }
}

}  // namespace artwork
