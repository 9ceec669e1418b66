# Decoder, sound device and FFT of the audio half.
pkg_check_modules(VORLEK_AUDIO REQUIRED IMPORTED_TARGET vorbisfile sdl2 alsa kissfft-float)
target_link_libraries(vorlek_platform PUBLIC PkgConfig::VORLEK_AUDIO)
