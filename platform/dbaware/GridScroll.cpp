#include "platform/dbaware/GridScroll.h"

#include <algorithm>

namespace vidra::gridscroll {

ScrollInfo numberedBar(int recordCount, int recNo, int pageRows)
{
    ScrollInfo s;
    s.minimum = 1;
    s.page = pageRows;
    s.maximum = recordCount + pageRows - 1;
    s.position = recNo;
    return s;
}

ScrollInfo fivePositionBar(bool bof, bool eof)
{
    ScrollInfo s;
    s.minimum = kFirstPosition;
    s.maximum = kLastPosition;
    s.page = 0;
    s.position = bof ? kFirstPosition : eof ? kLastPosition : kBetweenPosition;
    return s;
}

SliderRange sliderRange(const ScrollInfo& info)
{
    SliderRange r;
    r.minimum = info.minimum;
    r.maximum = std::max(info.minimum, info.maximum - std::max(info.page - 1, 0));
    r.pageStep = info.page;
    return r;
}

Jump numberedJump(int position, int recordCount)
{
    if (position <= 1) return {Jump::First, 0};
    if (position >= recordCount) return {Jump::Last, 0};
    return {Jump::Record, position};
}

Jump fivePositionJump(int position)
{
    switch (position) {
    case kFirstPosition:
        return {Jump::First, 0};
    case kPageUpPosition:
        return {Jump::PageUp, 0};
    case kPageDownPosition:
        return {Jump::PageDown, 0};
    case kLastPosition:
        return {Jump::Last, 0};
    default:
        return {Jump::None, 0};
    }
}

} // namespace vidra::gridscroll
