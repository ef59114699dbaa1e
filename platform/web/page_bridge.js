// The program's side of the page: what platform_web.cpp and still.cpp call, handed on to the
// object the page puts at Module.page (see index.html), and standard input that waits for the
// page's first key.
mergeInto(LibraryManager.library, {
  // main's return value ends the program. Once main has been suspended (by a sleep or a read),
  // the runtime no longer sees what it returns: the last resumption hands it over here instead,
  // and exit() passes it on to the page's Module.onExit.
  $dadadazoReportMainStatus__deps: ['$Asyncify'],
  $dadadazoReportMainStatus__postset: 'addOnPreMain(dadadazoReportMainStatus);',
  $dadadazoReportMainStatus: function() {
    Asyncify.asyncPromiseHandlers = {
      resolve: function(status) {
        exit(status);
      },
      reject: function(error) {
        throw error;
      },
    };
  },

  // Standard input is the keyboard of the page: a read waits (through Asyncify, so the browser
  // keeps running) until a key is typed, then returns that one character. Every other file
  // descriptor reads as Emscripten's own fd_read does.
  fd_read__deps: ['$SYSCALLS', '$Asyncify', '$dadadazoReportMainStatus'],
  fd_read__sig: 'iiiii',
  fd_read: function(fd, iov, iovcnt, pnum) {
    if (fd !== 0) {
      var stream = SYSCALLS.getStreamFromFD(fd);
      var num = SYSCALLS.doReadv(stream, iov, iovcnt);
      HEAP32[pnum >> 2] = num;
      return 0;
    }
    return Asyncify.handleSleep(function(wakeUp) {
      Module['page'].nextKey(function(code) {
        var count = 0;
        if (code >= 0) {
          // Into the first buffer with room (the C library may hand an empty one first).
          for (var i = 0; i < iovcnt; i++) {
            var base = HEAP32[(iov + i * 8) >> 2];
            var length = HEAP32[(iov + i * 8 + 4) >> 2];
            if (length > 0) {
              HEAPU8[base] = code;
              count = 1;
              break;
            }
          }
        }
        HEAP32[pnum >> 2] = count;
        wakeUp(0);
      });
    });
  },

  dadadazo_page_open_screen: function(width, height, fullScreen) {
    return Module['page'].openScreen(width, height, fullScreen !== 0) ? 1 : 0;
  },

  dadadazo_page_take_event: function() {
    return Module['page'].takeEvent();
  },

  dadadazo_page_start_music: function(file) {
    Module['page'].startMusic(UTF8ToString(file));
  },

  dadadazo_page_stop_music: function() {
    Module['page'].stopMusic();
  },

  dadadazo_page_close_screen: function() {
    Module['page'].closeScreen();
  },

  // A browser with WebGL switched off (WebKit) may lack its interfaces altogether, and
  // Emscripten's context creation names them: asked first.
  dadadazo_page_has_webgl2: function() {
    return typeof WebGL2RenderingContext === 'function' ? 1 : 0;
  },

  // Whether the page's gentle control is on: no more than three flashes a second.
  dadadazo_page_gentle: function() {
    return Module['page'].gentle() ? 1 : 0;
  },

  dadadazo_page_frame_ready: function() {
    Module['page'].frameReady();
  },
});
