#pragma once

// N values of T in one register; plain arithmetic on it works lane by lane, and the
// compiler picks the instructions of whatever width the code is built for.
template <class T, int N> struct VectorType {
    typedef T Type __attribute__((vector_size(N * sizeof(T))));
};
template <class T, int N> using VectorOf = typename VectorType<T, N>::Type;
