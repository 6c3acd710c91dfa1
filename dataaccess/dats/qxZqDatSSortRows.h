// qxZqDatSSortRows: the sort of a row list: a quick sort of the pointers
// (median of three, small ranges left alone) followed by one insertion sort
// over the whole list. Compare answers negative, 0 or positive.
#pragma once

#include <utility>

namespace dats {

class TZqDatSRow;

namespace sortrows {

template <class TCmp> void QuickSort(TZqDatSRow **A, int Lo, int Hi, const TCmp &Cmp) {
    while (Hi - Lo > 4) {
        int Mid = Lo + (Hi - Lo) / 2;
        if (Cmp(A[Lo], A[Mid]) > 0) std::swap(A[Lo], A[Mid]);
        if (Cmp(A[Lo], A[Hi]) > 0) std::swap(A[Lo], A[Hi]);
        if (Cmp(A[Mid], A[Hi]) > 0) std::swap(A[Mid], A[Hi]);
        TZqDatSRow *Pivot = A[Mid];
        int I = Lo, J = Hi;
        while (I <= J) {
            while (Cmp(A[I], Pivot) < 0) ++I;
            while (Cmp(A[J], Pivot) > 0) --J;
            if (I <= J) {
                std::swap(A[I], A[J]);
                ++I;
                --J;
            }
        }
        // Recurse into the smaller part, loop on the larger (bounded stack).
        if (J - Lo < Hi - I) {
            if (Lo < J) QuickSort(A, Lo, J, Cmp);
            Lo = I;
        } else {
            if (I < Hi) QuickSort(A, I, Hi, Cmp);
            Hi = J;
        }
    }
}

template <class TCmp> void InsertionSort(TZqDatSRow **A, int N, const TCmp &Cmp) {
    for (int I = 1; I < N; ++I) {
        TZqDatSRow *X = A[I];
        int J = I - 1;
        while (J >= 0 && Cmp(A[J], X) > 0) {
            A[J + 1] = A[J];
            --J;
        }
        A[J + 1] = X;
    }
}

} // namespace sortrows

template <class TCmp> void DatSSortRows(TZqDatSRow **A, int N, const TCmp &Cmp) {
    if (N < 2) return;
    sortrows::QuickSort(A, 0, N - 1, Cmp);
    sortrows::InsertionSort(A, N, Cmp);
}

} // namespace dats
