#include "image/ReaderResult.h"

#include "image/PlacedData.h"

void BuildImageInto(const PlacedData& placed, ImageOrigin origin, std::vector<uint8_t>& image,
                    ReaderResult& result, bool piecesAreLines) {
    const ImageBuild build = placed.BuildImage(origin, image);
    switch (build.status) {
        case ImageBuild::Ok:
            result.origin = build.origin;
            if (!placed.Empty())
                result.range = AddressRange{placed.Lowest(), uint32_t(placed.HighestEnd() - 1)};
            return;
        case ImageBuild::OutOfMemory:
            result.status = ReaderStatus::OutOfMemory;
            return;
        case ImageBuild::Conflict:
            result.status = ReaderStatus::Damaged;
            if (piecesAreLines)
                result.line = build.where;
            else
                result.reason = "segment " + std::to_string(build.where) + ": ";
            result.reason += ImageRefusal(build);
            return;
        case ImageBuild::TooWide:
        case ImageBuild::TooLong:
            result.tooWide = true;
            [[fallthrough]];
        case ImageBuild::BelowOrigin:
            result.status = ReaderStatus::Damaged;
            result.reason = ImageRefusal(build);
            return;
    }
}
