// The one writer of an instrument description: header, sample headers, then each sample's data
// through the encoders, read through the SampleReader interface.
#pragma once

#include <span>

#include "platform/platform.h"
#include "xi/instrument.h"
#include "xi/xi_header.h"
#include "xi/xiwrite.h"

namespace brumlet {

/// Writes `instrument` into `output`, a file just created (so positioned at its start): the
/// instrument header and its sample headers in one write, then each sample's data, in order, from
/// its reader, its frame source or `sources[sample.source.file]`; the file then ends where the
/// data does. `image` and `buffers` are the run's own. The callers check the description with
/// InstrumentFault before they create the output; a description at fault is refused here all the
/// same (Rejection, 247) before anything is written. Throws RunFailure for a failed read or
/// write.
void WriteInstrument(const Instrument& instrument, std::span<File* const> sources, File& output,
                     XiHeaderBlock& image, EncoderBuffers& buffers);

}  // namespace brumlet
