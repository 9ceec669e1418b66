#include "tools/trackgen/OggEncode.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>

namespace {

void AppendPage(std::vector<uint8_t>& Out, const ogg_page& Page) {
  Out.insert(Out.end(), Page.header, Page.header + Page.header_len);
  Out.insert(Out.end(), Page.body, Page.body + Page.body_len);
}

}  // namespace

std::vector<uint8_t> EncodeVorbis(const float* Interleaved, int64_t Frames, int Channels, int Rate,
                                  float Quality, int Serial) {
  std::vector<uint8_t> Out;
  vorbis_info Info;
  vorbis_info_init(&Info);
  if (vorbis_encode_init_vbr(&Info, Channels, Rate, Quality) != 0) {
    vorbis_info_clear(&Info);
    return Out;
  }
  vorbis_comment Comment;
  vorbis_comment_init(&Comment);
  vorbis_dsp_state Dsp;
  vorbis_block Block;
  vorbis_analysis_init(&Dsp, &Info);
  vorbis_block_init(&Dsp, &Block);
  ogg_stream_state Stream;
  ogg_stream_init(&Stream, Serial);

  ogg_packet Header, CommentHeader, CodeHeader;
  vorbis_analysis_headerout(&Dsp, &Comment, &Header, &CommentHeader, &CodeHeader);
  ogg_stream_packetin(&Stream, &Header);
  ogg_stream_packetin(&Stream, &CommentHeader);
  ogg_stream_packetin(&Stream, &CodeHeader);
  ogg_page Page;
  // The audio starts on a page of its own, as players expect.
  while (ogg_stream_flush(&Stream, &Page) != 0) AppendPage(Out, Page);

  constexpr int64_t Step = 4096;
  bool Ended = false;
  for (int64_t Done = 0; !Ended;) {
    int64_t Count = std::min(Step, Frames - Done);
    if (Count > 0) {
      float** Buffer = vorbis_analysis_buffer(&Dsp, int(Count));
      for (int64_t F = 0; F < Count; ++F)
        for (int C = 0; C < Channels; ++C) Buffer[C][F] = Interleaved[(Done + F) * Channels + C];
      vorbis_analysis_wrote(&Dsp, int(Count));
      Done += Count;
    } else {
      vorbis_analysis_wrote(&Dsp, 0);  // end of stream
    }
    while (vorbis_analysis_blockout(&Dsp, &Block) == 1) {
      vorbis_analysis(&Block, nullptr);
      vorbis_bitrate_addblock(&Block);
      ogg_packet Packet;
      while (vorbis_bitrate_flushpacket(&Dsp, &Packet) != 0) {
        ogg_stream_packetin(&Stream, &Packet);
        while (ogg_stream_pageout(&Stream, &Page) != 0) {
          AppendPage(Out, Page);
          if (ogg_page_eos(&Page)) Ended = true;
        }
      }
    }
  }

  ogg_stream_clear(&Stream);
  vorbis_block_clear(&Block);
  vorbis_dsp_clear(&Dsp);
  vorbis_comment_clear(&Comment);
  vorbis_info_clear(&Info);
  return Out;
}
