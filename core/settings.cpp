#include "core/settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

const char* const kUserPrefNames[kUserPrefCount + 1] = {
    "",
    "Splash Page On",
    "Save File Exists",
    "Convert to Layer",
    "Unsaved Image",
    "Small Image 1:1 Load",
    "Save As = Rename",
    "Dialog Pos Safety Net",
    "Filmstrip blend alpha",
    "Alphabetic Layer-modes",
    "Load Type = *.*",
    "High Compression ELF",
    "Result Very Large",
    "Timeline: GIF=Animated",
    "Save Plug-in Settings (slow)",
    "Save Manager Path",
    "Manager Open On Start",
    "Auto-Close Op Window",
    "Show Tip of the Day",
    "JPEG Preview Autotest",
    "Reduce = Lens",
    "FKey Shift Reverse",
};

namespace {

const SettingKey kKeys[] = {
    {"PosMain", 0, 0, "0 0 1024 768", 179, SettingKind::Numbers, 4, [](Settings& s, int) -> void* { return &s.pos_main; }},
    {"PosView", 0, 0, "136 69 278 184", 179, SettingKind::Numbers, 4, [](Settings& s, int) -> void* { return &s.pos_view; }},
    {"PosTool", 0, 0, "3 69", 179, SettingKind::Numbers, 2, [](Settings& s, int) -> void* { return &s.pos_tool; }},
    {"PosChron", 0, 0, "40 40", 179, SettingKind::Numbers, 2, [](Settings& s, int) -> void* { return &s.pos_chron; }},
    {"PosOp", 0, 0, "150 125", 179, SettingKind::Numbers, 2, [](Settings& s, int) -> void* { return &s.pos_op; }},
    {"PosFilm", 0, 0, "137 256 394 98", 179, SettingKind::Numbers, 4, [](Settings& s, int) -> void* { return &s.pos_film; }},
    {"PosProfile", 0, 0, "10 10 200 100", 179, SettingKind::Numbers, 4, [](Settings& s, int) -> void* { return &s.pos_profile; }},
    {"PosTrend", 0, 0, "100 100 520 120", 179, SettingKind::Numbers, 4, [](Settings& s, int) -> void* { return &s.pos_trend; }},
    {"PosProg", 0, 0, "60 60 300 120", 179, SettingKind::Numbers, 4, [](Settings& s, int) -> void* { return &s.pos_prog; }},
    {"PosTime", 0, 0, "40 40 400 200", 179, SettingKind::Numbers, 4, [](Settings& s, int) -> void* { return &s.pos_time; }},
    {"PosExp", 0, 0, "20 20 300 300", 179, SettingKind::Numbers, 4, [](Settings& s, int) -> void* { return &s.pos_exp; }},
    {"dlg_xp", 0, 0, "130", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.dlg_xp; }},
    {"dlg_yp", 0, 0, "130", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.dlg_yp; }},
    {"UserPrefs%03d", 1, 21, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int i) -> void* { return &s.user_prefs[i]; }},
    {"ThumbOLan", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.thumb_olan; }},
    {"ShowThumbs", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.show_thumbs; }},
    {"FastThumbs", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.fast_thumbs; }},
    {"UseFThumbs", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.use_fthumbs; }},
    {"ThumbProp", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.thumb_prop; }},
    {"Thumbing", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.thumbing; }},
    {"AAThumbs", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.aa_thumbs; }},
    {"ShThumbs", 0, 0, "15", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.sh_thumbs; }},
    {"DelDes", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.del_des; }},
    {"RedPlace", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.red_place; }},
    {"EnlPlace", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.enl_place; }},
    {"IMnameshow", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.im_name_show; }},
    {"IMsortmode", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.im_sort_mode; }},
    {"IMmovecheck", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.im_move_check; }},
    {"IMfiltermode", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.im_filter_mode; }},
    {"IMfilter", 0, 0, "*.*", 179, SettingKind::Text, 1, [](Settings& s, int) -> void* { return &s.im_filter; }},
    {"IMgrWidth", 0, 0, "810", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.imgr_width; }},
    {"IMgrHeight", 0, 0, "590", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.imgr_height; }},
    {"IMgrXPos", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.imgr_xpos; }},
    {"IMgrYPos", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.imgr_ypos; }},
    {"IMgrDirWidth", 0, 0, "220", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.imgr_dir_width; }},
    {"IMcBack", 0, 0, "0 0 128", 179, SettingKind::Numbers, 3, [](Settings& s, int) -> void* { return &s.im_c_back; }},
    {"IMcSele", 0, 0, "255 255 0", 179, SettingKind::Numbers, 3, [](Settings& s, int) -> void* { return &s.im_c_sele; }},
    {"IMcText", 0, 0, "255 128 0", 179, SettingKind::Numbers, 3, [](Settings& s, int) -> void* { return &s.im_c_text; }},
    {"IMcPapr", 0, 0, "128 0 128", 179, SettingKind::Numbers, 3, [](Settings& s, int) -> void* { return &s.im_c_papr; }},
    {"DThumbX", 0, 0, "128", 9, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.dthumb_x; }},
    {"DThumbY", 0, 0, "128", 9, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.dthumb_y; }},
    {"ThumbX", 0, 0, "128", 9, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.thumb_x; }},
    {"ThumbY", 0, 0, "128", 9, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.thumb_y; }},
    {"ThumbQ", 0, 0, "75", 9, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.thumb_q; }},
    {"ThumbBackDrop", 0, 0, "0 0 0", 179, SettingKind::Numbers, 3, [](Settings& s, int) -> void* { return &s.thumb_back_drop; }},
    {"ShowChron", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.show_chron; }},
    {"AlphaPlaceMode", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.alpha_place_mode; }},
    {"GridDisplayMode", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.grid_display_mode; }},
    {"CheckerAlpha", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.checker_alpha; }},
    {"CommandServer", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.command_server; }},
    {"ServerAckWait", 0, 0, "5", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.server_ack_wait; }},
    {"TransNewImage", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.trans_new_image; }},
    {"OpenSplash", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.open_splash; }},
    {"WorkMethod", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.work_method; }},
    {"CBFull", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.cb_full; }},
    {"LevelsFull", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.levels_full; }},
    {"WindowFull", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.window_full; }},
    {"WindowCWhite", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.window_c_white; }},
    {"CHTools", 0, 0, "3", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.ch_tools; }},
    {"CVTools", 0, 0, "8", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.cv_tools; }},
    {"CHPos", 0, 0, "100", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.ch_pos; }},
    {"CVPos", 0, 0, "100", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.cv_pos; }},
    {"Cstate", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.c_state; }},
    {"TODIdx", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.tod_idx; }},
    {"DisplayMode", 0, 0, "20", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.display_mode; }},
    {"Ordered", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.ordered; }},
    {"GridColor", 0, 0, "127 127 127", 179, SettingKind::Numbers, 3, [](Settings& s, int) -> void* { return &s.grid_color; }},
    {"DarkBack", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.dark_back; }},
    {"CtSize", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.ct_size; }},
    {"ToolText", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.tool_text; }},
    {"ProgressLight", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.progress_light; }},
    {"ViewAdjust", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.view_adjust; }},
    {"HideOp", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.hide_op; }},
    {"ModeZoom", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.mode_zoom; }},
    {"No Re-Size", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.no_resize; }},
    {"LineDash1", 0, 0, "255 255 255", 179, SettingKind::Numbers, 3, [](Settings& s, int) -> void* { return &s.line_dash1; }},
    {"LineDash2", 0, 0, "0 0 0", 179, SettingKind::Numbers, 3, [](Settings& s, int) -> void* { return &s.line_dash2; }},
    {"LineHandle", 0, 0, "255 255 255", 179, SettingKind::Numbers, 3, [](Settings& s, int) -> void* { return &s.line_handle; }},
    {"PrevDash1", 0, 0, "255 255 255", 179, SettingKind::Numbers, 3, [](Settings& s, int) -> void* { return &s.prev_dash1; }},
    {"PrevDash2", 0, 0, "0 0 0", 179, SettingKind::Numbers, 3, [](Settings& s, int) -> void* { return &s.prev_dash2; }},
    {"AlphaCheck", 0, 0, "127 127 127", 179, SettingKind::Numbers, 3, [](Settings& s, int) -> void* { return &s.alpha_check; }},
    {"CellSize", 0, 0, "36 32", 179, SettingKind::Numbers, 2, [](Settings& s, int) -> void* { return &s.cell_size; }},
    {"PlugPath", 0, 0, "", 179, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.plug_path; }},
    {"ImporterPath", 0, 0, "", 179, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.importer_path; }},
    {"HelpLoc", 0, 0, "", 254, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.help_loc; }},
    {"ImagePath", 0, 0, "", 179, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.image_path; }},
    {"TodPath", 0, 0, "", 179, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.tod_path; }},
    {"DEMPath", 0, 0, "", 179, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.dem_path; }},
    {"ScriptPath", 0, 0, "", 179, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.script_path; }},
    {"TTR_Path", 0, 0, "", 518, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.ttr_path; }},
    {"RawTriPath", 0, 0, "", 179, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.raw_tri_path; }},
    {"W3DPath", 0, 0, "", 179, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.w3d_path; }},
    {"ScenePath", 0, 0, "", 179, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.scene_path; }},
    {"FilmPath", 0, 0, "", 179, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.film_path; }},
    {"FilmAVIPath", 0, 0, "", 179, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.film_avi_path; }},
    {"FilmFLCPath", 0, 0, "", 179, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.film_flc_path; }},
    {"FilmMNGPath", 0, 0, "", 179, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.film_mng_path; }},
    {"FilmGIFPath", 0, 0, "", 179, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.film_gif_path; }},
    {"ProjPath", 0, 0, "", 179, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.proj_path; }},
    {"TimeLinePath", 0, 0, "", 179, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.timeline_path; }},
    {"OutPath", 0, 0, "", 299, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.out_path; }},
    {"PartiPath", 0, 0, "", 299, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.parti_path; }},
    {"SeqImagesPath", 0, 0, "", 255, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.seq_images_path; }},
    {"SettingsPath", 0, 0, "", 255, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.settings_path; }},
    {"SavePath", 0, 0, "", 299, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.save_path; }},
    {"PartiPalPath", 0, 0, "", 299, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.parti_pal_path; }},
    {"ConvoPath", 0, 0, "", 299, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.convo_path; }},
    {"AreaPath", 0, 0, "", 255, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.area_path; }},
    {"ProjectPath", 0, 0, "", 255, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.project_path; }},
    {"CaddyPath", 0, 0, "", 255, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.caddy_path; }},
    {"SeqListPath", 0, 0, "", 255, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.seq_list_path; }},
    {"SpacePath", 0, 0, "", 301, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.space_path; }},
    {"CSepPath", 0, 0, "", 301, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.csep_path; }},
    {"LastDir%ld", 1, 9, "", 299, SettingKind::Folder, 1, [](Settings& s, int i) -> void* { return &s.last_dir[i]; }},
    {"PlugFile", 0, 0, "", 179, SettingKind::Text, 1, [](Settings& s, int) -> void* { return &s.plug_file; }},
    {"ScriptFilename", 0, 0, "", 179, SettingKind::Text, 1, [](Settings& s, int) -> void* { return &s.script_filename; }},
    {"TTR_File", 0, 0, "", 518, SettingKind::Text, 1, [](Settings& s, int) -> void* { return &s.ttr_file; }},
    {"W3DFN", 0, 0, "", 179, SettingKind::Text, 1, [](Settings& s, int) -> void* { return &s.w3d_fn; }},
    {"RawTriFN", 0, 0, "", 179, SettingKind::Text, 1, [](Settings& s, int) -> void* { return &s.raw_tri_fn; }},
    {"SceneFile", 0, 0, "", 179, SettingKind::Text, 1, [](Settings& s, int) -> void* { return &s.scene_file; }},
    {"OutName", 0, 0, "", 299, SettingKind::Text, 1, [](Settings& s, int) -> void* { return &s.out_name; }},
    {"ParticleSystem", 0, 0, "", 299, SettingKind::Text, 1, [](Settings& s, int) -> void* { return &s.particle_system; }},
    {"SaveName", 0, 0, "", 299, SettingKind::Text, 1, [](Settings& s, int) -> void* { return &s.save_name; }},
    {"CSepName", 0, 0, "", 299, SettingKind::Text, 1, [](Settings& s, int) -> void* { return &s.csep_name; }},
    {"LastFile%ld", 1, 9, "", 299, SettingKind::Text, 1, [](Settings& s, int i) -> void* { return &s.last_file[i]; }},
    {"OutExtn", 0, 0, "bmp", 179, SettingKind::Text, 1, [](Settings& s, int) -> void* { return &s.out_extn; }},
    {"SaveExtn", 0, 0, "bmp", 299, SettingKind::Text, 1, [](Settings& s, int) -> void* { return &s.save_extn; }},
    {"CSepExtn", 0, 0, "csp", 299, SettingKind::Text, 1, [](Settings& s, int) -> void* { return &s.csep_extn; }},
    {"IShapePath", 0, 0, "", 179, SettingKind::Folder, 1, [](Settings& s, int) -> void* { return &s.ishape_path; }},
    {"IShapeName", 0, 0, "", 179, SettingKind::Text, 1, [](Settings& s, int) -> void* { return &s.ishape_name; }},
    {"IShapeExtn", 0, 0, "ish", 179, SettingKind::Text, 1, [](Settings& s, int) -> void* { return &s.ishape_extn; }},
    {"CapFile", 0, 0, "", 301, SettingKind::Text, 1, [](Settings& s, int) -> void* { return &s.cap_file; }},
    {"F%d", 1, 9, "", 179, SettingKind::Text, 1, [](Settings& s, int i) -> void* { return &s.fkey[i]; }},
    {"PF%d", 1, 9, "", 179, SettingKind::Text, 1, [](Settings& s, int i) -> void* { return &s.pfkey[i]; }},
    {"SaveType", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.save_type; }},
    {"NumMode", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.num_mode; }},
    {"SaveDepth", 0, 0, "24", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.save_depth; }},
    {"SaveCompress", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.save_compress; }},
    {"JPEGQuality", 0, 0, "75", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.jpeg_quality; }},
    {"JPEGChromaSS", 0, 0, "89", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.jpeg_chroma_ss; }},
    {"SaveResult", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.save_result; }},
    {"SeqType", 0, 0, "9", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.seq_type; }},
    {"SeqDepth", 0, 0, "24", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.seq_depth; }},
    {"SeqCompress", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.seq_compress; }},
    {"SeqQuality", 0, 0, "75", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.seq_quality; }},
    {"CapCounter", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.cap_counter; }},
    {"CapType", 0, 0, "9", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.cap_type; }},
    {"CapDepth", 0, 0, "24", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.cap_depth; }},
    {"CapCompress", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.cap_compress; }},
    {"CapQuality", 0, 0, "75", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.cap_quality; }},
    {"CapDelay", 0, 0, "2", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.cap_delay; }},
    {"CapMem", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.cap_mem; }},
    {"CMYKPlates", 0, 0, "25 75 32 40 300 7 0", 179, SettingKind::Numbers, 7, [](Settings& s, int) -> void* { return &s.cmyk_plates; }},
    {"ColorFill", 0, 0, "25 100 0", 179, SettingKind::Numbers, 3, [](Settings& s, int) -> void* { return &s.color_fill; }},
    {"UnsharpMask", 0, 0, "0 0 255", 179, SettingKind::Numbers, 3, [](Settings& s, int) -> void* { return &s.unsharp_mask; }},
    {"RGBRange", 0, 0, "20 20 20", 179, SettingKind::Numbers, 3, [](Settings& s, int) -> void* { return &s.rgb_range; }},
    {"HSLRange", 0, 0, "30 20 20", 179, SettingKind::Numbers, 3, [](Settings& s, int) -> void* { return &s.hsl_range; }},
    {"TOLRange", 0, 0, "3", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.tol_range; }},
    {"UndoWant", 0, 0, "20", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.undo_want; }},
    {"Threads", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.threads; }},
    {"Feathering", 0, 0, "15", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.feathering; }},
    {"AreaMode", 0, 0, "6", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.area_mode; }},
    {"CornerShape", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.corner_shape; }},
    {"CornerRect", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.corner_rect; }},
    {"CornerRound", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.corner_round; }},
    {"CornerOval", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.corner_oval; }},
    {"Operation", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.operation; }},
    {"Splatter", 0, 0, "20 9 0 100 1 0", 179, SettingKind::Numbers, 6, [](Settings& s, int) -> void* { return &s.splatter; }},
    {"KeyColor", 0, 0, "", 179, SettingKind::Text, 1, [](Settings& s, int) -> void* { return &s.key_color; }},
    {"WandRange", 0, 0, "", 179, SettingKind::Text, 1, [](Settings& s, int) -> void* { return &s.wand_range; }},
    {"PartiScale", 0, 0, "1.0", 179, SettingKind::Text, 1, [](Settings& s, int) -> void* { return &s.parti_scale; }},
    {"CustomColor%d", 1, 16, "0 0 0", 179, SettingKind::Numbers, 3, [](Settings& s, int i) -> void* { return &s.custom_color[i]; }},
    {"newcust1", 0, 0, "320 240", 179, SettingKind::Numbers, 2, [](Settings& s, int) -> void* { return &s.newcust1; }},
    {"newcust2", 0, 0, "640 480", 179, SettingKind::Numbers, 2, [](Settings& s, int) -> void* { return &s.newcust2; }},
    {"newcust3", 0, 0, "800 600", 179, SettingKind::Numbers, 2, [](Settings& s, int) -> void* { return &s.newcust3; }},
    {"newcust4", 0, 0, "768 1024", 179, SettingKind::Numbers, 2, [](Settings& s, int) -> void* { return &s.newcust4; }},
    {"newcustd%d", 1, 4, "0 0 0 0", 179, SettingKind::Numbers, 4, [](Settings& s, int i) -> void* { return &s.newcustd[i]; }},
    {"NewImage", 0, 0, "320 200 100 100 30 30 70", 179, SettingKind::Numbers, 7, [](Settings& s, int) -> void* { return &s.new_image; }},
    {"FrameControl", 0, 0, "7 1 7 4  320 200", 179, SettingKind::Numbers, 6, [](Settings& s, int) -> void* { return &s.frame_control; }},
    {"ShowFilm", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.show_film; }},
    {"FilmSpeed", 0, 0, "70", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.film_speed; }},
    {"FilmPong", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.film_pong; }},
    {"FilmReverse", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.film_reverse; }},
    {"FilmSize", 0, 0, "96 72", 179, SettingKind::Numbers, 2, [](Settings& s, int) -> void* { return &s.film_size; }},
    {"FilmScrolling", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.film_scrolling; }},
    {"AnimMillis", 0, 0, "70", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.anim_millis; }},
    {"LockAfterFirst", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.lock_after_first; }},
    {"ChooseColors", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.choose_colors; }},
    {"WithAlpha", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.with_alpha; }},
    {"ModAlpha", 0, 0, "2", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.mod_alpha; }},
    {"KeepAspect", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.keep_aspect; }},
    {"AlphaBack", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.alpha_back; }},
    {"AlphaColor", 0, 0, "0 0 255", 179, SettingKind::Numbers, 3, [](Settings& s, int) -> void* { return &s.alpha_color; }},
    {"BackColor", 0, 0, "0 0 0", 179, SettingKind::Numbers, 3, [](Settings& s, int) -> void* { return &s.back_color; }},
    {"PaletteBeep", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.palette_beep; }},
    {"Font", 0, 0, "Arial", 31, SettingKind::Text, 1, [](Settings& s, int) -> void* { return &s.font; }},
    {"FontColor", 0, 0, "0 0 0", 179, SettingKind::Numbers, 3, [](Settings& s, int) -> void* { return &s.font_color; }},
    {"Points", 0, 0, "23", 9, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.points; }},
    {"Weight", 0, 0, "400", 9, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.weight; }},
    {"Italic", 0, 0, "0", 9, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.italic; }},
    {"FontAA", 0, 0, "1", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.font_aa; }},
    {"KeepLog", 0, 0, "0", 179, SettingKind::Numbers, 1, [](Settings& s, int) -> void* { return &s.keep_log; }},
};

} // namespace

Settings& settings()
{
    static Settings s;
    return s;
}

const SettingKey* setting_keys(size_t* count)
{
    if (count)
        *count = sizeof kKeys / sizeof kKeys[0];
    return kKeys;
}

const SettingKey* setting_key_find(const char* key)
{
    for (const SettingKey& k : kKeys)
        if (std::strcmp(k.key, key) == 0)
            return &k;
    return nullptr;
}

std::string setting_key_name(const SettingKey& k, int index)
{
    if (!k.indexed())
        return k.key;
    char name[64];
    // The patterns are "%d", "%03d" or "%ld"; a long serves all three.
    std::string pattern = k.key;
    size_t at = pattern.find("%ld");
    if (at != std::string::npos)
        pattern.replace(at, 3, "%d");
    std::snprintf(name, sizeof name, pattern.c_str(), index);
    return name;
}

std::string setting_default(const SettingKey& k, int index, const std::string& cwd)
{
    if (k.kind == SettingKind::Folder)
        return cwd;
    // The check-box preferences are all on except two.
    if (std::strcmp(k.key, "UserPrefs%03d") == 0)
        return (index == PREF_MANAGER_OPEN_ON_START || index == PREF_FKEY_SHIFT_REVERSE) ? "0" : "1";
    return k.fallback;
}

void setting_parse(const SettingKey& k, Settings& s, int index, const char* text)
{
    if (!text)
        return;
    std::string value(text, strnlen(text, static_cast<size_t>(k.max_length)));
    void* field = k.field(s, index);
    if (k.kind != SettingKind::Numbers) {
        *static_cast<std::string*>(field) = value;
        return;
    }
    long* numbers = static_cast<long*>(field);
    const char* p = value.c_str();
    for (int i = 0; i < k.count; ++i) {
        char* end = nullptr;
        long v = std::strtol(p, &end, 10);
        if (end == p)
            break;
        numbers[i] = v;
        p = end;
    }
}

std::string setting_format(const SettingKey& k, Settings& s, int index)
{
    void* field = k.field(s, index);
    if (k.kind != SettingKind::Numbers)
        return *static_cast<std::string*>(field);
    const long* numbers = static_cast<const long*>(field);
    std::string out;
    char buf[32];
    for (int i = 0; i < k.count; ++i) {
        std::snprintf(buf, sizeof buf, "%ld", numbers[i]);
        if (i)
            out += ' ';
        out += buf;
    }
    return out;
}

void settings_reset(Settings& s, const std::string& cwd)
{
    for (const SettingKey& k : kKeys) {
        int first = k.indexed() ? k.first : 0;
        int last = k.indexed() ? k.last : 0;
        for (int i = first; i <= last; ++i) {
            if (k.kind == SettingKind::Numbers) {
                long* numbers = static_cast<long*>(k.field(s, i));
                for (int n = 0; n < k.count; ++n)
                    numbers[n] = 0;
            }
            setting_parse(k, s, i, setting_default(k, i, cwd).c_str());
        }
    }
    s.home_folder = cwd + "/glimmerix";
    s.help_file = s.home_folder + "/vq.hlp";
}
