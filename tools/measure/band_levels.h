// What a render holds in frequency: its power spectrum, and the sixth-octave band spectrum that
// tells one drum from another.
#pragma once

#include <cstddef>
#include <vector>

#include "wav_reader.h"

namespace brumlet::measure {

/// The power spectrum of `size` (a power of 2) frames of `signal` from `begin` seconds,
/// Hann-windowed: bin k holds k x rate / size Hz.
std::vector<double> PowerSpectrum(const Rendered& signal, double begin, std::size_t size);

/// The lower edge in Hz of band `band` of BandsDb: sixth-octave bands from 50 Hz up.
double BandLowHz(std::size_t band);

/// The power of `signal` over its first 0.37 s in sixth-octave bands from 50 Hz to 16 kHz, in dB,
/// bands more than 40 dB under the loudest raised to that floor.
std::vector<double> BandsDb(const Rendered& signal);

/// The correlation (-1..1) of two band spectra of the same length.
double Correlation(const std::vector<double>& a, const std::vector<double>& b);

}  // namespace brumlet::measure
