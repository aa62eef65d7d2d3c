#pragma once
// The grid's vertical scroll bar as a mapping between the current record and
// a position of the bar, both ways. Over numbered rows the bar counts record
// numbers with a page of the rows on screen; while the rows have no numbers
// (a filter is in force) it has five positions: first, a page up, somewhere
// between, a page down, last.

namespace vidra::gridscroll {

// The bar as the table sets it: a range from minimum to maximum with a page,
// so that the last position is maximum - page + 1.
struct ScrollInfo
{
    int minimum = 0;
    int maximum = 0;
    int page = 0;
    int position = 0;
};

// Over numbered rows: positions 1 to recordCount, the position being the
// record's number; pageRows are the rows on screen.
ScrollInfo numberedBar(int recordCount, int recNo, int pageRows);

// The five positions of a bar over rows without numbers.
enum FivePosition
{
    kFirstPosition = 0,
    kPageUpPosition = 1,
    kBetweenPosition = 2,
    kPageDownPosition = 3,
    kLastPosition = 4,
};
ScrollInfo fivePositionBar(bool bof, bool eof);

// What a slider widget takes: it counts positions, not the range, so its
// maximum is the last position.
struct SliderRange
{
    int minimum = 0;
    int maximum = 0;
    int pageStep = 0;
};
SliderRange sliderRange(const ScrollInfo& info);

// Where a position of the bar sends the current record.
struct Jump
{
    enum Kind
    {
        None,
        First,
        Last,
        Record, // the record numbered recNo
        PageUp,
        PageDown,
    };
    Kind kind = None;
    int recNo = 0;
};
Jump numberedJump(int position, int recordCount);
Jump fivePositionJump(int position);

} // namespace vidra::gridscroll
