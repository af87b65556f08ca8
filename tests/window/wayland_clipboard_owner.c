// SPDX-License-Identifier: MIT
// Owns the Wayland clipboard and serves it badly, as a misbehaving program would.
//
//     wayland_clipboard_owner MODE FILE
//
// MODE: text (sends the file's bytes), html (offers text/html alone), once (sends them to the
// first reader, then ends), slow (sends them 64 KiB at a time, 0.3 s apart), hang (stops
// answering the compositor once it owns the clipboard), formats-only (lists its formats and keeps
// each reader's pipe open without writing), die (ends half-way through the first transfer).
// Prints "ready" once it owns the clipboard. A client needs the keyboard to take the clipboard:
// it maps a small window, takes the clipboard when the keyboard comes to it and unmaps it again.
#define _GNU_SOURCE
#include "xdg-shell-client-protocol.h"

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

static const char* g_mode;
static char* g_payload;
static size_t g_length;
static struct wl_compositor* g_compositor;
static struct wl_shm* g_shm;
static struct wl_seat* g_seat;
static struct wl_data_device_manager* g_manager;
static struct xdg_wm_base* g_shell;
static struct wl_surface* g_surface;
static struct xdg_surface* g_xdg_surface;
static struct xdg_toplevel* g_toplevel;
static struct wl_keyboard* g_keyboard;
static struct wl_data_source* g_source;
static int g_owned;

static int Is(const char* mode)
{
    return strcmp(g_mode, mode) == 0;
}

static void Fail(const char* what)
{
    fprintf(stderr, "wayland_clipboard_owner: %s\n", what);
    exit(2);
}

// Writes bytes [from, to) of the payload; a reader that went away ends the transfer.
static int WriteRange(int fd, size_t from, size_t to)
{
    while (from < to) {
        const ssize_t n = write(fd, g_payload + from, to - from);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return -1;
        from += (size_t)n;
    }
    return 0;
}

static void Send(void* data, struct wl_data_source* source, const char* mime, int fd)
{
    (void)data, (void)source, (void)mime;
    if (Is("formats-only"))
        return; // the pipe stays open, and nothing comes
    if (Is("die")) {
        WriteRange(fd, 0, g_length / 2);
        _exit(0);
    }
    if (Is("slow")) {
        const struct timespec pause = { 0, 300 * 1000 * 1000 };
        for (size_t at = 0; at < g_length; at += 65536) {
            if (WriteRange(fd, at, at + 65536 < g_length ? at + 65536 : g_length) != 0)
                break;
            nanosleep(&pause, NULL);
        }
    } else {
        WriteRange(fd, 0, g_length);
    }
    close(fd);
    if (Is("once"))
        _exit(0);
}

static void Cancelled(void* data, struct wl_data_source* source)
{
    (void)data, (void)source;
    // Someone else holds the clipboard now.
    exit(0);
}

static void Target(void* data, struct wl_data_source* source, const char* mime)
{
    (void)data, (void)source, (void)mime;
}
static void DropPerformed(void* data, struct wl_data_source* source)
{
    (void)data, (void)source;
}
static void Finished(void* data, struct wl_data_source* source)
{
    (void)data, (void)source;
}
static void Action(void* data, struct wl_data_source* source, uint32_t action)
{
    (void)data, (void)source, (void)action;
}
static const struct wl_data_source_listener g_source_listener
    = { Target, Send, Cancelled, DropPerformed, Finished, Action };

static void TakeClipboard(uint32_t serial)
{
    struct wl_data_device* device = wl_data_device_manager_get_data_device(g_manager, g_seat);
    g_source = wl_data_device_manager_create_data_source(g_manager);
    wl_data_source_add_listener(g_source, &g_source_listener, NULL);
    if (Is("html")) {
        wl_data_source_offer(g_source, "text/html");
    } else {
        wl_data_source_offer(g_source, "text/plain;charset=utf-8");
        wl_data_source_offer(g_source, "text/plain");
        wl_data_source_offer(g_source, "UTF8_STRING");
    }
    wl_data_device_set_selection(device, g_source, serial);
    g_owned = 1;
    // The window is no longer needed: it would only stand in the way of the test's clicks.
    xdg_toplevel_destroy(g_toplevel);
    xdg_surface_destroy(g_xdg_surface);
    wl_surface_destroy(g_surface);
}

static void KeyboardEnter(void* data, struct wl_keyboard* keyboard, uint32_t serial,
    struct wl_surface* surface, struct wl_array* keys)
{
    (void)data, (void)keyboard, (void)surface, (void)keys;
    if (!g_owned)
        TakeClipboard(serial);
}
static void Keymap(void* data, struct wl_keyboard* keyboard, uint32_t format, int fd, uint32_t size)
{
    (void)data, (void)keyboard, (void)format, (void)size;
    close(fd);
}
static void KeyboardLeave(
    void* data, struct wl_keyboard* keyboard, uint32_t serial, struct wl_surface* surface)
{
    (void)data, (void)keyboard, (void)serial, (void)surface;
}
static void Key(void* data, struct wl_keyboard* keyboard, uint32_t serial, uint32_t time,
    uint32_t key, uint32_t state)
{
    (void)data, (void)keyboard, (void)serial, (void)time, (void)key, (void)state;
}
static void Modifiers(void* data, struct wl_keyboard* keyboard, uint32_t serial, uint32_t depressed,
    uint32_t latched, uint32_t locked, uint32_t group)
{
    (void)data, (void)keyboard, (void)serial, (void)depressed, (void)latched, (void)locked,
        (void)group;
}
static void RepeatInfo(void* data, struct wl_keyboard* keyboard, int32_t rate, int32_t delay)
{
    (void)data, (void)keyboard, (void)rate, (void)delay;
}
static const struct wl_keyboard_listener g_keyboard_listener
    = { Keymap, KeyboardEnter, KeyboardLeave, Key, Modifiers, RepeatInfo };

static void Ping(void* data, struct xdg_wm_base* shell, uint32_t serial)
{
    (void)data;
    xdg_wm_base_pong(shell, serial);
}
static const struct xdg_wm_base_listener g_shell_listener = { Ping };

// A white 16 x 16 buffer: a window shows only once it has one.
static void Draw(void)
{
    const int width = 16, height = 16, stride = width * 4, size = stride * height;
    const int fd = memfd_create("owner", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0)
        Fail("no memory for the window");
    void* pixels = mmap(NULL, (size_t)size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED)
        Fail("no memory for the window");
    memset(pixels, 0xFF, (size_t)size);
    struct wl_shm_pool* pool = wl_shm_create_pool(g_shm, fd, size);
    struct wl_buffer* buffer
        = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_surface_attach(g_surface, buffer, 0, 0);
    wl_surface_commit(g_surface);
}

static void Configure(void* data, struct xdg_surface* surface, uint32_t serial)
{
    (void)data;
    xdg_surface_ack_configure(surface, serial);
    if (!g_owned)
        Draw();
}
static const struct xdg_surface_listener g_xdg_surface_listener = { Configure };

static void Global(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
    uint32_t version)
{
    (void)data;
    if (strcmp(interface, wl_compositor_interface.name) == 0)
        g_compositor = wl_registry_bind(registry, name, &wl_compositor_interface, 1);
    else if (strcmp(interface, wl_shm_interface.name) == 0)
        g_shm = wl_registry_bind(registry, name, &wl_shm_interface, 1);
    else if (strcmp(interface, wl_seat_interface.name) == 0 && !g_seat)
        g_seat = wl_registry_bind(registry, name, &wl_seat_interface, version < 4 ? version : 4);
    else if (strcmp(interface, wl_data_device_manager_interface.name) == 0)
        g_manager = wl_registry_bind(
            registry, name, &wl_data_device_manager_interface, version < 3 ? version : 3);
    else if (strcmp(interface, xdg_wm_base_interface.name) == 0)
        g_shell = wl_registry_bind(registry, name, &xdg_wm_base_interface, 1);
}
static void GlobalRemove(void* data, struct wl_registry* registry, uint32_t name)
{
    (void)data, (void)registry, (void)name;
}
static const struct wl_registry_listener g_registry_listener = { Global, GlobalRemove };

int main(int argc, char** argv)
{
    if (argc != 3)
        Fail("usage: wayland_clipboard_owner MODE FILE");
    g_mode = argv[1];
    FILE* file = fopen(argv[2], "rb");
    if (!file)
        Fail("cannot open the payload");
    fseek(file, 0, SEEK_END);
    g_length = (size_t)ftell(file);
    rewind(file);
    g_payload = malloc(g_length + 1);
    if (!g_payload || fread(g_payload, 1, g_length, file) != g_length)
        Fail("cannot read the payload");
    fclose(file);
    signal(SIGPIPE, SIG_IGN);

    struct wl_display* display = wl_display_connect(NULL);
    if (!display)
        Fail("no Wayland display");
    wl_registry_add_listener(wl_display_get_registry(display), &g_registry_listener, NULL);
    wl_display_roundtrip(display);
    if (!g_compositor || !g_shm || !g_seat || !g_manager || !g_shell)
        Fail("the compositor lacks a global this program needs");
    xdg_wm_base_add_listener(g_shell, &g_shell_listener, NULL);
    g_keyboard = wl_seat_get_keyboard(g_seat);
    wl_keyboard_add_listener(g_keyboard, &g_keyboard_listener, NULL);
    g_surface = wl_compositor_create_surface(g_compositor);
    g_xdg_surface = xdg_wm_base_get_xdg_surface(g_shell, g_surface);
    xdg_surface_add_listener(g_xdg_surface, &g_xdg_surface_listener, NULL);
    g_toplevel = xdg_surface_get_toplevel(g_xdg_surface);
    xdg_toplevel_set_title(g_toplevel, "clipboard owner");
    wl_surface_commit(g_surface);

    while (!g_owned)
        if (wl_display_dispatch(display) < 0)
            Fail("the compositor closed the connection");
    wl_display_flush(display);
    // Said before any reader can ask: weston's own clipboard keeper asks at once.
    printf("ready\n");
    fflush(stdout);
    if (Is("hang"))
        for (;;)
            pause();
    while (wl_display_dispatch(display) >= 0) { }
    return 0;
}
