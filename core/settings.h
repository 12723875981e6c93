// The settings variables: every key of "GLIMVQ.ini" (section "Glimvq") in
// one plain struct, and the key table that names each one with its default,
// its longest value and its form.  Dialogs, settings files, scripts and the
// timeline all read and write these same variables.
#pragma once

#include <cstddef>
#include <string>

// Indexes of the check-box preferences ("UserPrefs%03d"), counted from 1 in
// the order of the preferences dialog.
enum UserPref : int {
    PREF_SPLASH_PAGE_ON = 1,
    PREF_SAVE_FILE_EXISTS = 2,
    PREF_CONVERT_TO_LAYER = 3,
    PREF_UNSAVED_IMAGE = 4,
    PREF_SMALL_IMAGE_1TO1_LOAD = 5,
    PREF_SAVE_AS_RENAME = 6,
    PREF_DIALOG_POS_SAFETY_NET = 7,
    PREF_FILMSTRIP_BLEND_ALPHA = 8,
    PREF_ALPHABETIC_LAYER_MODES = 9,
    PREF_LOAD_TYPE_ALL = 10,
    PREF_HIGH_COMPRESSION_ELF = 11,
    PREF_RESULT_VERY_LARGE = 12,
    PREF_TIMELINE_GIF_ANIMATED = 13,
    PREF_SAVE_PLUGIN_SETTINGS = 14,
    PREF_SAVE_MANAGER_PATH = 15,
    PREF_MANAGER_OPEN_ON_START = 16,
    PREF_AUTO_CLOSE_OP_WINDOW = 17,
    PREF_SHOW_TIP_OF_THE_DAY = 18,
    PREF_JPEG_PREVIEW_AUTOTEST = 19,
    PREF_REDUCE_LENS = 20,
    PREF_FKEY_SHIFT_REVERSE = 21,
};
constexpr int kUserPrefCount = 21;
// The labels of the check boxes, index 1..21 (index 0 is empty).
extern const char* const kUserPrefNames[kUserPrefCount + 1];

struct Settings {
    long pos_main[4]{};  // "PosMain"
    long pos_view[4]{};  // "PosView"
    long pos_tool[2]{};  // "PosTool"
    long pos_chron[2]{};  // "PosChron"
    long pos_op[2]{};  // "PosOp"
    long pos_film[4]{};  // "PosFilm"
    long pos_profile[4]{};  // "PosProfile"
    long pos_trend[4]{};  // "PosTrend"
    long pos_prog[4]{};  // "PosProg"
    long pos_time[4]{};  // "PosTime"
    long pos_exp[4]{};  // "PosExp"
    long dlg_xp{};  // "dlg_xp"
    long dlg_yp{};  // "dlg_yp"
    long user_prefs[22]{};  // "UserPrefs%03d"
    long thumb_olan{};  // "ThumbOLan"
    long show_thumbs{};  // "ShowThumbs"
    long fast_thumbs{};  // "FastThumbs"
    long use_fthumbs{};  // "UseFThumbs"
    long thumb_prop{};  // "ThumbProp"
    long thumbing{};  // "Thumbing"
    long aa_thumbs{};  // "AAThumbs"
    long sh_thumbs{};  // "ShThumbs"
    long del_des{};  // "DelDes"
    long red_place{};  // "RedPlace"
    long enl_place{};  // "EnlPlace"
    long im_name_show{};  // "IMnameshow"
    long im_sort_mode{};  // "IMsortmode"
    long im_move_check{};  // "IMmovecheck"
    long im_filter_mode{};  // "IMfiltermode"
    std::string im_filter;  // "IMfilter"
    long imgr_width{};  // "IMgrWidth"
    long imgr_height{};  // "IMgrHeight"
    long imgr_xpos{};  // "IMgrXPos"
    long imgr_ypos{};  // "IMgrYPos"
    long imgr_dir_width{};  // "IMgrDirWidth"
    long im_c_back[3]{};  // "IMcBack"
    long im_c_sele[3]{};  // "IMcSele"
    long im_c_text[3]{};  // "IMcText"
    long im_c_papr[3]{};  // "IMcPapr"
    long dthumb_x{};  // "DThumbX"
    long dthumb_y{};  // "DThumbY"
    long thumb_x{};  // "ThumbX"
    long thumb_y{};  // "ThumbY"
    long thumb_q{};  // "ThumbQ"
    long thumb_back_drop[3]{};  // "ThumbBackDrop"
    long show_chron{};  // "ShowChron"
    long alpha_place_mode{};  // "AlphaPlaceMode"
    long grid_display_mode{};  // "GridDisplayMode"
    long checker_alpha{};  // "CheckerAlpha"
    long command_server{};  // "CommandServer": the workstation serves other programs
    long server_ack_wait{};  // "ServerAckWait": seconds the server waits for a data acknowledgement
    long trans_new_image{};  // "TransNewImage"
    long open_splash{};  // "OpenSplash"
    long work_method{};  // "WorkMethod"
    long cb_full{};  // "CBFull"
    long levels_full{};  // "LevelsFull"
    long window_full{};  // "WindowFull"
    long window_c_white{};  // "WindowCWhite"
    long ch_tools{};  // "CHTools"
    long cv_tools{};  // "CVTools"
    long ch_pos{};  // "CHPos"
    long cv_pos{};  // "CVPos"
    long c_state{};  // "Cstate"
    long tod_idx{};  // "TODIdx"
    long display_mode{};  // "DisplayMode"
    long ordered{};  // "Ordered"
    long grid_color[3]{};  // "GridColor"
    long dark_back{};  // "DarkBack"
    long ct_size{};  // "CtSize"
    long tool_text{};  // "ToolText"
    long progress_light{};  // "ProgressLight"
    long view_adjust{};  // "ViewAdjust"
    long hide_op{};  // "HideOp"
    long mode_zoom{};  // "ModeZoom"
    long no_resize{};  // "No Re-Size"
    long line_dash1[3]{};  // "LineDash1"
    long line_dash2[3]{};  // "LineDash2"
    long line_handle[3]{};  // "LineHandle"
    long prev_dash1[3]{};  // "PrevDash1"
    long prev_dash2[3]{};  // "PrevDash2"
    long alpha_check[3]{};  // "AlphaCheck"
    long cell_size[2]{};  // "CellSize"
    std::string plug_path;  // "PlugPath"
    std::string importer_path;  // "ImporterPath"
    std::string help_loc;  // "HelpLoc"
    std::string image_path;  // "ImagePath"
    std::string tod_path;  // "TodPath"
    std::string dem_path;  // "DEMPath"
    std::string script_path;  // "ScriptPath"
    std::string ttr_path;  // "TTR_Path"
    std::string raw_tri_path;  // "RawTriPath"
    std::string w3d_path;  // "W3DPath"
    std::string scene_path;  // "ScenePath"
    std::string film_path;  // "FilmPath"
    std::string film_avi_path;  // "FilmAVIPath"
    std::string film_flc_path;  // "FilmFLCPath"
    std::string film_mng_path;  // "FilmMNGPath"
    std::string film_gif_path;  // "FilmGIFPath"
    std::string proj_path;  // "ProjPath"
    std::string timeline_path;  // "TimeLinePath"
    std::string out_path;  // "OutPath"
    std::string parti_path;  // "PartiPath"
    std::string seq_images_path;  // "SeqImagesPath"
    std::string settings_path;  // "SettingsPath"
    std::string save_path;  // "SavePath"
    std::string parti_pal_path;  // "PartiPalPath"
    std::string convo_path;  // "ConvoPath"
    std::string area_path;  // "AreaPath"
    std::string project_path;  // "ProjectPath"
    std::string caddy_path;  // "CaddyPath"
    std::string seq_list_path;  // "SeqListPath"
    std::string space_path;  // "SpacePath"
    std::string csep_path;  // "CSepPath"
    std::string last_dir[10];  // "LastDir%ld"
    std::string plug_file;  // "PlugFile"
    std::string script_filename;  // "ScriptFilename"
    std::string ttr_file;  // "TTR_File"
    std::string w3d_fn;  // "W3DFN"
    std::string raw_tri_fn;  // "RawTriFN"
    std::string scene_file;  // "SceneFile"
    std::string out_name;  // "OutName"
    std::string particle_system;  // "ParticleSystem"
    std::string save_name;  // "SaveName"
    std::string csep_name;  // "CSepName"
    std::string last_file[10];  // "LastFile%ld"
    std::string out_extn;  // "OutExtn"
    std::string save_extn;  // "SaveExtn"
    std::string csep_extn;  // "CSepExtn"
    std::string ishape_path;  // "IShapePath"
    std::string ishape_name;  // "IShapeName"
    std::string ishape_extn;  // "IShapeExtn"
    std::string cap_file;  // "CapFile"
    std::string fkey[10];  // "F%d"
    std::string pfkey[10];  // "PF%d"
    long save_type{};  // "SaveType"
    long num_mode{};  // "NumMode"
    long save_depth{};  // "SaveDepth"
    long save_compress{};  // "SaveCompress"
    long jpeg_quality{};  // "JPEGQuality"
    long jpeg_chroma_ss{};  // "JPEGChromaSS"
    long save_result{};  // "SaveResult"
    long seq_type{};  // "SeqType"
    long seq_depth{};  // "SeqDepth"
    long seq_compress{};  // "SeqCompress"
    long seq_quality{};  // "SeqQuality"
    long cap_counter{};  // "CapCounter"
    long cap_type{};  // "CapType"
    long cap_depth{};  // "CapDepth"
    long cap_compress{};  // "CapCompress"
    long cap_quality{};  // "CapQuality"
    long cap_delay{};  // "CapDelay"
    long cap_mem{};  // "CapMem"
    long cmyk_plates[7]{};  // "CMYKPlates"
    long color_fill[3]{};  // "ColorFill"
    long unsharp_mask[3]{};  // "UnsharpMask"
    long rgb_range[3]{};  // "RGBRange"
    long hsl_range[3]{};  // "HSLRange"
    long tol_range{};  // "TOLRange"
    long undo_want{};  // "UndoWant"
    long threads{};  // "Threads": threads an operation may use, 0 = one per core
    long feathering{};  // "Feathering"
    long area_mode{};  // "AreaMode"
    long corner_shape{};  // "CornerShape"
    long corner_rect{};  // "CornerRect"
    long corner_round{};  // "CornerRound"
    long corner_oval{};  // "CornerOval"
    long operation{};  // "Operation"
    long splatter[6]{};  // "Splatter"
    std::string key_color;  // "KeyColor"
    std::string wand_range;  // "WandRange"
    std::string parti_scale;  // "PartiScale"
    long custom_color[17][3]{};  // "CustomColor%d"
    long newcust1[2]{};  // "newcust1"
    long newcust2[2]{};  // "newcust2"
    long newcust3[2]{};  // "newcust3"
    long newcust4[2]{};  // "newcust4"
    long newcustd[5][4]{};  // "newcustd%d"
    long new_image[7]{};  // "NewImage"
    long frame_control[6]{};  // "FrameControl"
    long show_film{};  // "ShowFilm"
    long film_speed{};  // "FilmSpeed"
    long film_pong{};  // "FilmPong"
    long film_reverse{};  // "FilmReverse"
    long film_size[2]{};  // "FilmSize"
    long film_scrolling{};  // "FilmScrolling"
    long anim_millis{};  // "AnimMillis"
    long lock_after_first{};  // "LockAfterFirst"
    long choose_colors{};  // "ChooseColors"
    long with_alpha{};  // "WithAlpha"
    long mod_alpha{};  // "ModAlpha"
    long keep_aspect{};  // "KeepAspect"
    long alpha_back{};  // "AlphaBack"
    long alpha_color[3]{};  // "AlphaColor"
    long back_color[3]{};  // "BackColor"
    long palette_beep{};  // "PaletteBeep"
    std::string font;  // "Font"
    long font_color[3]{};  // "FontColor"
    long points{};  // "Points"
    long weight{};  // "Weight"
    long italic{};  // "Italic"
    long font_aa{};  // "FontAA"
    long keep_log{};  // "KeepLog"

    // ---- not stored in the file ------------------------------------------
    std::string home_folder;  // folder current at start-up + "/glimmerix"
    std::string help_file;    // home folder + "/vq.hlp"
    long screen_width = 1024;
    long screen_height = 768;

    bool pref(int index) const { return index >= 1 && index <= kUserPrefCount && user_prefs[index] != 0; }
};

Settings& settings();

enum class SettingKind {
    Numbers,  // one or more decimal numbers separated by single blanks
    Text,     // text, default as given
    Folder,   // text, default the folder current at start-up
};

struct SettingKey {
    const char* key;       // printf pattern for indexed keys ("LastDir%ld")
    int first, last;       // index range of an indexed key; 0, 0 for a plain key
    const char* fallback;  // default value text
    int max_length;        // longest value read, in characters
    SettingKind kind;
    int count;             // how many numbers a Numbers key holds
    void* (*field)(Settings& s, int index);

    bool indexed() const { return last > 0; }
};

const SettingKey* setting_keys(size_t* count);
const SettingKey* setting_key_find(const char* key);
// The key's name for an index ("UserPrefs007").
std::string setting_key_name(const SettingKey& k, int index);
// The default text of a key at an index; `cwd` is the folder current at start-up.
std::string setting_default(const SettingKey& k, int index, const std::string& cwd);
// Parses a value into the variable, cutting text to the key's longest value.
// Numbers that do not parse keep what the variable held.
void setting_parse(const SettingKey& k, Settings& s, int index, const char* text);
// The value as it is written back ("%ld" numbers joined by single blanks).
std::string setting_format(const SettingKey& k, Settings& s, int index);
// Every variable back to its default.
void settings_reset(Settings& s, const std::string& cwd);
