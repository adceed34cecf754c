/* zorvex: a C64 emulator that plays C64 music files and hands out their SID
 * register accesses, plus HVSC song-length and STIL look-ups.
 *
 * Usage:
 *   int32_t h = createC64();                    // 0: no free instance
 *   enableFixedStartup(h);
 *   if (loadFile(h, "Commando.sid")) {
 *     setSongToPlay(h, getDefaultSong(h));       // 0-based; before the first run
 *     for (;;) {
 *       run(h);
 *       switch (getCommand(h)) {
 *         case ZORVEX_CMD_WRITE:  use(getCycles(h), getRegister(h), getData(h)); break;
 *         case ZORVEX_CMD_DELAY:  wait(getCycles(h)); break;      // 65535 cycles
 *         case ZORVEX_CMD_READ:   break;                            // register read
 *         case ZORVEX_CMD_RESTART: restartAnalysis(); break;
 *         default: break;
 *       }
 *     }
 *   }
 *   closeC64(h);
 *
 * Handles are 1..255. Text results point into storage the library owns: copy
 * them. Different instances may run on different threads at once; one instance
 * belongs to one thread at a time. */
#ifndef ZORVEX_H
#define ZORVEX_H

#include <stdint.h>

#if defined(_WIN32)
/* The DLL's own build exports; a program linked against its import library
 * imports. A program that binds the exports at run time uses only the types. */
#if defined(ZORVEX_BUILDING_DLL)
#define ZORVEX_API __declspec(dllexport)
#else
#define ZORVEX_API __declspec(dllimport)
#endif
#else
#define ZORVEX_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum {
  ZORVEX_CMD_IDLE = 0,
  ZORVEX_CMD_DELAY = 1,
  ZORVEX_CMD_WRITE = 2,
  ZORVEX_CMD_READ = 3,
  ZORVEX_CMD_RESTART = 4,
  ZORVEX_CMD_INIT_DONE = 5
};

/* Instances */
ZORVEX_API int32_t createC64(void);
ZORVEX_API int32_t closeC64(int32_t handle);

/* Tune loading and tune data */
ZORVEX_API int32_t loadFile(int32_t handle, const char* path);
ZORVEX_API void setSongToPlay(int32_t handle, int32_t song);
ZORVEX_API int32_t getNumberOfSongs(int32_t handle);
ZORVEX_API int32_t getDefaultSong(int32_t handle);
ZORVEX_API int32_t getLoadAddress(int32_t handle);
ZORVEX_API int32_t getLoadEndAddress(int32_t handle);
ZORVEX_API int32_t getInitAddress(int32_t handle);
ZORVEX_API int32_t getPlayAddress(int32_t handle);
ZORVEX_API const char* getTitle(int32_t handle);
ZORVEX_API const char* getAuthor(int32_t handle);
ZORVEX_API const char* getReleased(int32_t handle);
ZORVEX_API const char* getMD5Hash(int32_t handle);
ZORVEX_API int32_t getSIDModel(int32_t handle);
ZORVEX_API int32_t getC64Version(int32_t handle);
ZORVEX_API void setC64Version(int32_t handle, int32_t value);

/* Playback */
ZORVEX_API int32_t run(int32_t handle);
ZORVEX_API int32_t getCommand(int32_t handle);
ZORVEX_API int32_t getRegister(int32_t handle);
ZORVEX_API int32_t getData(int32_t handle);
ZORVEX_API int32_t getCycles(int32_t handle);
ZORVEX_API int32_t getTime(int32_t handle);
ZORVEX_API void pressButtons(int32_t handle);
ZORVEX_API void enableFixedStartup(int32_t handle);
ZORVEX_API void skipSilence(int32_t handle, int32_t flag);
ZORVEX_API void enableVolumeFix(int32_t handle, int32_t flag);

/* Memory images: min(length, 65536) bytes from $0000 */
ZORVEX_API void getMemory(int32_t handle, uint8_t* buffer, int32_t length);
ZORVEX_API void getMemoryUsageRam(int32_t handle, uint8_t* buffer, int32_t length);
ZORVEX_API void getMemoryUsageRom(int32_t handle, uint8_t* buffer, int32_t length);
ZORVEX_API void clearMemUsageOnFirstSIDAccess(int32_t handle, int32_t flag);

/* HVSC metadata, shared by all instances: DOCUMENTS/Songlengths.txt (or
   Songlengths.md5) found from the file itself or from a path at, in or above
   the collection; STIL.txt and BUGlist.txt from the collection root, its parent
   or its DOCUMENTS directory. Lengths are in milliseconds, 0 when unknown. The
   texts of getSTILEntry (NULL when there is none) and getFileName stay valid
   until the next call of the same function. */
ZORVEX_API int32_t checkSLDB(const char* path);
ZORVEX_API int32_t checkSLDBFromBuffer(const uint8_t* buffer, int32_t length);
ZORVEX_API int32_t loadSLDB(const char* path);
ZORVEX_API int32_t loadSLDBFromBuffer(const uint8_t* buffer, int32_t length);
ZORVEX_API int32_t loadSTIL(const char* path);
ZORVEX_API int32_t loadSTILFromBuffer(const uint8_t* buffer, int32_t length);
ZORVEX_API const char* getSTILEntry(int32_t handle);
ZORVEX_API const char* getFileName(const char* md5);
ZORVEX_API int32_t getSongLength(int32_t handle);

/* Version: 0x137 for 1.3.7 */
ZORVEX_API int32_t getVersion(void);

#ifdef __cplusplus
}
#endif

#endif
