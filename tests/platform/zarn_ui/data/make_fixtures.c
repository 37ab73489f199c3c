/* Writes the small image fixtures next to this file. Pixel values the tests check:
 *   every format: (0,0) opaque red, (w-1,0) opaque blue, the rest opaque green,
 *   except rgba.png and lossless.webp, whose (1,0) is white at alpha 128.
 *   first_frame.gif: the second frame is all blue; only the first must show.
 * inflate_bomb.png comes from make_inflate_bomb.py.
 * Build and run from this folder:
 *   cc -O1 make_fixtures.c -o /tmp/make_fixtures -lwebp -lm && /tmp/make_fixtures */
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#include <webp/encode.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static unsigned char* pattern(int w, int h, int half_white) {
  unsigned char* p = malloc((size_t)w * h * 4);
  for (int i = 0; i < w * h; ++i) {
    unsigned char* px = p + i * 4;
    px[0] = 0; px[1] = 160; px[2] = 0; px[3] = 255;
  }
  memcpy(p, "\xff\x00\x00\xff", 4);
  memcpy(p + (w - 1) * 4, "\x00\x00\xff\xff", 4);
  if (half_white) memcpy(p + 4, "\xff\xff\xff\x80", 4);
  return p;
}

static void write_file(const char* name, const unsigned char* data, size_t size) {
  FILE* f = fopen(name, "wb");
  if (!f || fwrite(data, 1, size, f) != size) { perror(name); exit(1); }
  fclose(f);
}

/* LZW with a clear code before the table could widen, so every code is 4 bits wide. */
static size_t gif_frame_data(unsigned char* out, const unsigned char* idx, int n) {
  unsigned acc = 0; int bits = 0; size_t len = 0;
  unsigned char block[256]; int blen = 0;
#define PUT(code) do { acc |= (unsigned)(code) << bits; bits += 4; \
    while (bits >= 8) { block[blen++] = acc & 0xff; acc >>= 8; bits -= 8; \
      if (blen == 255) { out[len++] = 255; memcpy(out + len, block, 255); len += 255; blen = 0; } } } while (0)
  for (int i = 0; i < n; ++i) {
    if (i % 4 == 0) PUT(8);
    PUT(idx[i]);
  }
  PUT(9);
  if (bits > 0) { block[blen++] = acc & 0xff; }
  if (blen > 0) { out[len++] = (unsigned char)blen; memcpy(out + len, block, blen); len += blen; }
  out[len++] = 0;
  return len;
#undef PUT
}

static void write_gif(const char* name, int w, int h) {
  unsigned char buf[8192]; size_t n = 0;
  memcpy(buf, "GIF89a", 6); n = 6;
  buf[n++] = w; buf[n++] = 0; buf[n++] = h; buf[n++] = 0;
  buf[n++] = 0xF2; /* global table of 8 colours */
  buf[n++] = 0; buf[n++] = 0;
  const unsigned char pal[24] = {255,0,0, 0,160,0, 0,0,255, 0,0,0, 0,0,0, 0,0,0, 0,0,0, 0,0,0};
  memcpy(buf + n, pal, 24); n += 24;
  unsigned char idx[4096];
  for (int frame = 0; frame < 2; ++frame) {
    for (int i = 0; i < w * h; ++i) idx[i] = frame == 0 ? 1 : 2;
    if (frame == 0) { idx[0] = 0; idx[w - 1] = 2; }
    const unsigned char gce[8] = {0x21, 0xF9, 4, 0, 10, 0, 0, 0};
    memcpy(buf + n, gce, 8); n += 8;
    const unsigned char desc[10] = {0x2C, 0, 0, 0, 0, (unsigned char)w, 0, (unsigned char)h, 0, 0};
    memcpy(buf + n, desc, 10); n += 10;
    buf[n++] = 3; /* LZW minimum code size */
    n += gif_frame_data(buf + n, idx, w * h);
  }
  buf[n++] = 0x3B;
  write_file(name, buf, n);
}

int main(void) {
  unsigned char* p;
  p = pattern(13, 7, 1);
  stbi_write_png("rgba.png", 13, 7, 4, p, 13 * 4);
  free(p);

  p = pattern(17, 9, 0);
  stbi_write_jpg("photo.jpg", 17, 9, 4, p, 95);
  free(p);

  {
    unsigned char rgb[10 * 6 * 3];
    unsigned char* q = pattern(10, 6, 0);
    for (int i = 0; i < 60; ++i) memcpy(rgb + i * 3, q + i * 4, 3);
    stbi_write_bmp("pattern.bmp", 10, 6, 3, rgb);
    free(q);
  }

  write_gif("first_frame.gif", 11, 5);

  uint8_t* out = NULL;
  size_t size;
  p = pattern(12, 8, 1);
  size = WebPEncodeLosslessRGBA(p, 12, 8, 12 * 4, &out);
  if (!size) return 1;
  write_file("lossless.webp", out, size);
  WebPFree(out);
  free(p);

  p = pattern(24, 16, 0);
  size = WebPEncodeRGBA(p, 24, 16, 24 * 4, 90, &out);
  if (!size) return 1;
  write_file("lossy.webp", out, size);
  WebPFree(out);
  free(p);
  return 0;
}
