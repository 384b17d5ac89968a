#include "codecs/png/row_filters.h"

#include <algorithm>

namespace flipbook {

namespace {

void UnfilterSub(std::uint8_t* row, std::size_t count, std::size_t distance) {
    for (std::size_t i = distance; i < count; ++i)
        row[i] = static_cast<std::uint8_t>(row[i] + row[i - distance]);
}

void UnfilterUp(std::uint8_t* row, const std::uint8_t* previous, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) row[i] = static_cast<std::uint8_t>(row[i] + previous[i]);
}

void UnfilterAverage(std::uint8_t* row, const std::uint8_t* previous, std::size_t count,
                     std::size_t distance) {
    const std::size_t head = std::min(distance, count);
    for (std::size_t i = 0; i < head; ++i) row[i] = static_cast<std::uint8_t>(row[i] + previous[i] / 2);
    for (std::size_t i = head; i < count; ++i) {
        row[i] = static_cast<std::uint8_t>(row[i] + ((previous[i] + row[i - distance]) >> 1));
    }
}

// Branch-free form of the predictor for the inner loop: same choice as PaethPredictor.
inline int PaethFast(int a, int b, int c) {
    const int pa = b - c;
    const int pb = a - c;
    const int absPa = pa < 0 ? -pa : pa;
    const int absPb = pb < 0 ? -pb : pb;
    const int sum = pa + pb;
    const int absPc = sum < 0 ? -sum : sum;
    const int nearer = absPb < absPa ? b : a;
    const int nearest = absPc < std::min(absPa, absPb) ? c : nearer;
    return nearest;
}

void UnfilterPaeth(std::uint8_t* row, const std::uint8_t* previous, std::size_t count, std::size_t distance) {
    const std::size_t head = std::min(distance, count);
    // Without a left neighbour the predictor is the byte above.
    for (std::size_t i = 0; i < head; ++i) row[i] = static_cast<std::uint8_t>(row[i] + previous[i]);
    for (std::size_t i = head; i < count; ++i) {
        row[i] = static_cast<std::uint8_t>(row[i] +
                                           PaethFast(row[i - distance], previous[i], previous[i - distance]));
    }
}

}  // namespace

void UnfilterRow(std::uint8_t filterType, std::uint8_t* row, const std::uint8_t* previous, std::size_t count,
                 std::size_t distance) {
    switch (filterType) {
        case kFilterSub:
            UnfilterSub(row, count, distance);
            break;
        case kFilterUp:
            UnfilterUp(row, previous, count);
            break;
        case kFilterAverage:
            UnfilterAverage(row, previous, count, distance);
            break;
        case kFilterPaeth:
            UnfilterPaeth(row, previous, count, distance);
            break;
        default:
            break;
    }
}

void FilterSub(const std::uint8_t* raw, std::uint8_t* out, std::size_t count, std::size_t distance) {
    const std::size_t head = std::min(distance, count);
    std::copy_n(raw, head, out);
    for (std::size_t i = head; i < count; ++i) out[i] = static_cast<std::uint8_t>(raw[i] - raw[i - distance]);
}

void FilterUp(const std::uint8_t* raw, const std::uint8_t* previous, std::uint8_t* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>(raw[i] - previous[i]);
}

void FilterAverage(const std::uint8_t* raw, const std::uint8_t* previous, std::uint8_t* out,
                   std::size_t count, std::size_t distance) {
    const std::size_t head = std::min(distance, count);
    for (std::size_t i = 0; i < head; ++i) out[i] = static_cast<std::uint8_t>(raw[i] - previous[i] / 2);
    for (std::size_t i = head; i < count; ++i) {
        out[i] = static_cast<std::uint8_t>(raw[i] - ((previous[i] + raw[i - distance]) >> 1));
    }
}

void FilterPaeth(const std::uint8_t* raw, const std::uint8_t* previous, std::uint8_t* out, std::size_t count,
                 std::size_t distance) {
    const std::size_t head = std::min(distance, count);
    for (std::size_t i = 0; i < head; ++i) out[i] = static_cast<std::uint8_t>(raw[i] - previous[i]);
    for (std::size_t i = head; i < count; ++i) {
        out[i] = static_cast<std::uint8_t>(raw[i] -
                                           PaethFast(raw[i - distance], previous[i], previous[i - distance]));
    }
}

std::size_t ScoreFilteredRow(const std::uint8_t* row, std::size_t count) {
    std::size_t score = 0;
    for (std::size_t j = 2; j < count; ++j) {
        if (row[j] == row[j - 1] || row[j] == row[j - 2]) ++score;
    }
    return score;
}

}  // namespace flipbook
