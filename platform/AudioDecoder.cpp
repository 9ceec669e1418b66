#include "platform/AudioDecoder.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <sys/stat.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>

struct TVorbisReader::TImpl {
  OggVorbis_File File{};
};

std::unique_ptr<TVorbisReader> TVorbisReader::Open(const std::string& FileName) {
  // A directory or a device would open but never decode; refuse them before libvorbisfile sees them.
  struct stat Info {};
  if (FileName.empty() || stat(FileName.c_str(), &Info) != 0 || !S_ISREG(Info.st_mode)) return nullptr;

  std::unique_ptr<TVorbisReader> Reader(new TVorbisReader());
  Reader->Impl = std::make_unique<TImpl>();
  if (ov_fopen(FileName.c_str(), &Reader->Impl->File) != 0) {
    Reader->Impl.reset();  // ov_fopen has already released what it opened
    return nullptr;
  }
  const vorbis_info* First = ov_info(&Reader->Impl->File, 0);
  if (!First || First->channels < 1 || First->rate < 1 || First->rate > 1000000) return nullptr;
  Reader->ChannelCount = First->channels;
  Reader->SampleRate = int(First->rate);
  return Reader;
}

TVorbisReader::~TVorbisReader() {
  if (Impl) ov_clear(&Impl->File);
}

int TVorbisReader::Read(float* Out, int MaxFrames) {
  // A damaged file can yield nothing but holes; give up after a few in a row.
  for (int Holes = 0; Holes < 64 && MaxFrames > 0;) {
    float** Pcm = nullptr;
    int Link = 0;
    long Got = ov_read_float(&Impl->File, &Pcm, MaxFrames, &Link);
    if (Got == OV_HOLE) {
      ++Holes;
      continue;
    }
    if (Got <= 0) return 0;
    const vorbis_info* Info = ov_info(&Impl->File, Link);
    int LinkChannels = Info ? Info->channels : ChannelCount;
    int Count = int(std::min<long>(Got, MaxFrames));
    for (int C = 0; C < ChannelCount; ++C) {
      // A later link with fewer channels repeats its last one; extra channels are dropped.
      const float* Source = Pcm[std::min(C, LinkChannels - 1)];
      for (int F = 0; F < Count; ++F) Out[size_t(F) * size_t(ChannelCount) + size_t(C)] = Source[F];
    }
    return Count;
  }
  return 0;
}

bool TVorbisReader::Seek(int64_t Frame) { return ov_pcm_seek(&Impl->File, ogg_int64_t(Frame)) == 0; }
