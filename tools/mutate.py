#!/usr/bin/python3
"""Puts hand-made faults, one at a time, into a scratch copy of the tree and
runs the test suite on each: a fault the suite does not fail on (survived)
is a fault a user could meet with every test green.

Usage: tools/mutate.py [--scratch DIR] [--only NAME ...] [--tests REGEX] [--skip REGEX] [--list]

The scratch copy (default /tmp/talvik-mutate-$USER) is made from the files
git lists in this tree, committed or not, and kept between runs, so each run
builds only what changed. The working tree is never written to. Each fault
is a text replacement in one file that must match exactly once; the fault
is built, the suite run (`--tests` narrows it to ctest's -R, `--skip`
leaves out ctest's -E: the Slurm cluster, say), and the file
put back. Exits 0 when every fault was killed, 1 when one survived or did
not build, 2 when the list no longer matches the code or the clean suite
fails.

Add a fault whenever a review finds one the suite let through, together with
the test that kills it."""
import argparse
import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass


@dataclass
class Fault:
    name: str
    path: str  # relative to the tree
    old: str   # text that occurs exactly once in the file
    new: str   # what the fault puts in its place
    why: str   # what a user would suffer


FAULTS = [
    # Wrong maps with exit 0.
    Fault("anamorphic-fit-uses-fx", "lens/lens_model.cpp",
          "undistorted_fy = get_undistorted_fy() / 1080.0f;",
          "undistorted_fy = get_undistorted_fx() / 1080.0f;",
          "anamorphic maps fit the vertical edge with fx"),
    Fault("identity-leaves-out-k2", "shot/map_identity.cpp",
          'if (a.name != "talvik/version" && a.name != kTakePath) id.attributes',
          'if (a.name != "talvik/version" && a.name != kTakePath && a.name != "talvik/k2") id.attributes',
          "--skip-existing keeps maps made with another k2"),
    Fault("identity-floats-within-1e-3", "shot/map_identity.cpp",
          "if (const auto* a = header.findTypedAttribute<Imf::FloatAttribute>(expected.name)) return a->value();",
          "if (const auto* a = header.findTypedAttribute<Imf::FloatAttribute>(expected.name)) {\n"
          "            const float e = std::get<float>(expected.value);\n"
          "            return a->value() - e < 1e-3f && e - a->value() < 1e-3f ? e : a->value();\n"
          "        }",
          "--skip-existing keeps maps after a small change"),
    Fault("identity-ignores-box", "shot/map_identity.cpp",
          "if (header.dataWindow() != exr_data_window(id))",
          "if (false)",
          "--skip-existing keeps maps of another overscan"),
    Fault("identity-trusts-unknown-lens-model", "shot/map_identity.cpp",
          "return !model || *model != 0;",
          "return true;",
          "--skip-existing keeps maps of a plug-in that does not say its lens model"),
    Fault("identity-preview-unchecked", "shot/map_identity.cpp",
          "if (text == expected) return std::nullopt;",
          "return std::nullopt;",
          "--skip-existing keeps previews of other values"),
    Fault("identity-ignores-alpha", "exr/st_map_channels.cpp",
          "alpha ? a && a->type == Imf::HALF : !a;",
          "!a || a->type == Imf::HALF;",
          "--skip-existing and verify keep maps without the validity alpha asked for"),
    Fault("map-channel-types-unchecked", "exr/st_map_channels.cpp",
          "r && r->type == Imf::FLOAT && g && g->type == Imf::FLOAT",
          "r && g",
          "verify and --skip-existing keep a map re-saved as half float, positions a pixel off"),
    Fault("record-hash-ignored", "pipeline/render/existing_output.cpp",
          'if (seal.xxh3_128 != text("xxh3_128"))',
          "if (false)",
          "verify passes a map whose bytes were flipped or rewritten after its render"),
    Fault("recorded-run-earliest", "pipeline/render/chunk_records.cpp",
          'text_member(record, "ended") > text_member(*latest, "ended")',
          'text_member(record, "ended") < text_member(*latest, "ended")',
          "the shot manifest names a run whose bytes were replaced by a later one"),
    Fault("deep-compare-skipped", "pipeline/farm/shot_manifest.cpp",
          "if (deep && check.state == OutputCheck::State::Current)",
          "if (false && deep)",
          "verify --deep passes a valid map whose pixels are not what the shot makes"),
    Fault("skip-existing-ignores-records", "pipeline/render/render_plan.cpp",
          "if (records) check = check_record(",
          "if (false) check = check_record(",
          "--skip-existing keeps a map whose bytes are not those its render recorded"),
    Fault("identity-ignores-compression", "shot/map_identity.cpp",
          "if (header.compression() != exr::exr_compression_id(id.compression))",
          "if (false)",
          "--skip-existing keeps a map compressed other than the run asks"),
    Fault("identity-holds-take-bytes", "shot/map_identity.cpp",
          "for (exr::ExtraAttribute& a : control_attributes(frame, values))",
          "for (exr::ExtraAttribute& a : map_attributes(frame, values, \"take bytes\"))",
          "a take exported again with the same keys renders the whole shot again"),
    Fault("margin-change-unnamed", "shot/map_identity.cpp",
          "if (const auto changed = margins_difference(header, id)) return changed;",
          "",
          "verify names a changed overscan as a data window, not as the margins that moved"),
    Fault("chunk-as-large-as-raw-kept-deflated", "exr/chunk_st_map_writer.cpp",
          "if (size >= raw) size = 0;",
          "if (size > raw) size = 0;",
          "a chunk deflating to its raw size is read as raw: a corrupt map"),
    Fault("chunk-line-number-without-top", "exr/chunk_st_map_writer.cpp",
          "static_cast<uint32_t>(layout_.top + first_line + line)",
          "static_cast<uint32_t>(first_line + line)",
          "maps with overscan name the wrong lines"),
    Fault("write-again-keeps-old-offsets", "exr/chunk_st_map_writer.cpp",
          "const uint64_t at = offsets_[i] - kept_chunks_at_ + chunks_at;",
          "const uint64_t at = offsets_[i];",
          "an unchanged frame under a longer header points into the header"),
    Fault("zip-predictor-off-by-one", "exr/zip_chunk.cpp",
          "e[0] = static_cast<uint8_t>(b0 - pe + 128);",
          "e[0] = static_cast<uint8_t>(b0 - pe + 127);",
          "ZIP chunks inflate to other values"),

    # Files.
    Fault("commit-without-recheck", "io/replace_file.cpp",
          "        check_replaceable(final_path_);\n",
          "",
          "a FIFO or device appearing at the output while writing is replaced"),
    Fault("temporary-left-on-failure", "io/replace_file.cpp",
          "if (!committed_) std::remove(temp_path_.c_str());",
          "if (!committed_) {}",
          "a failed write leaves its temporary behind"),
    Fault("symlink-target-from-cwd", "io/output_target.cpp",
          "at = target[0] == '/' || slash == std::string::npos ? target : at.substr(0, slash + 1) + target;",
          "at = target;",
          "a relative symlink's target is looked for from the current folder"),
    Fault("slot-kept-for-next-given-away", "io/ordered_chunk_sink.cpp",
          "if (free > 1 || (free == 1 && next_has_slot)) return chosen;",
          "if (free > 0) return chosen;",
          "the band the file waits for finds every slot taken by later ones: the bake hangs"),
    Fault("slot-wait-never-waits", "io/ordered_chunk_sink.cpp",
          "if (waiting_ + 1 < producers_) return nullptr;",
          "if (false) return nullptr;",
          "bands made faster than written pile up without bound: memory runs out"),
    Fault("slot-never-added-when-all-wait", "io/ordered_chunk_sink.cpp",
          "if (waiting_ + 1 < producers_) return nullptr;",
          "return nullptr;",
          "bands handed out of order wait for each other: the preview hangs"),
    Fault("slot-freed-before-written", "io/ordered_chunk_sink.cpp",
          "slot->state = Slot::State::Writing;",
          "slot->state = Slot::State::Free;",
          "slots are handed back before their bands reach the file: a corrupt map"),
    Fault("first-error-not-handed-on", "io/ordered_chunk_sink.cpp",
          "if (error_) std::rethrow_exception(error_);",
          "",
          "after a failed write the other bands go on being made for nothing"),

    # What nuke-script hands Nuke, and the names of inputs.
    Fault("nuke-read-runs-brackets", "pipeline/handoff/nuke_file_name.cpp",
          "if (c == '[' || c == ']') refuse(",
          "if (false) refuse(",
          "a plate folder named [python ...] runs Python when the script's Read is used"),
    Fault("nuke-read-keeps-frame-signs", "pipeline/handoff/nuke_file_name.cpp",
          'literal.find_first_of("#%")',
          'literal.find_first_of("")',
          "a Read reads pl%05d.exr or plate#1.exr as a sequence of other files"),
    Fault("nuke-script-over-its-map", "pipeline/render/render_plan.cpp",
          "inputs.push_back({sequence.pattern.path_for(static_cast<int>(frame)), sequence.what, true});",
          "break;",
          "nuke-script -o lands on a map frame the script reads"),
    Fault("existing-plate-read-as-pattern", "shot/plate_sequence.cpp",
          "return std::filesystem::is_regular_file(path, ec) || !FramePattern",
          "return !FramePattern",
          "an existing plate named plate_##_v##.exr is refused as a bad pattern"),
    Fault("film-back-near-zero", "shot/size_text.cpp",
          "std::isfinite(mm) && mm >= 0.1 && mm <= 1000.0",
          "std::isfinite(mm) && mm > 0.0 && mm <= 1000.0",
          "--haperture 1e-300 is 0 in the Camera's knobs"),

    # The lens math, scalar and vector.
    Fault("fold-threshold-inclusive-vector", "lens/st_map_row_kernel.h",
          "beyond[k] = radius > c.max_rd;",
          "beyond[k] = radius >= c.max_rd;",
          "vector rows zero the pixel at the last radius below the peak"),
    Fault("fold-threshold-inclusive-scalar", "lens/lens_model.cpp",
          "if (rd > lens.fold.max_rd) {",
          "if (rd >= lens.fold.max_rd) {",
          "the last radius below the peak has no position"),
    Fault("newton-stop-exclusive-vector", "lens/st_map_row_kernel.h",
          "const I moving = ~folded[k] & ~(abs(step) <= kNewtonStopStepMax);",
          "const I moving = ~folded[k] & ~(abs(step) < kNewtonStopStepMax);",
          "vector rows take one more step than the scalar rows: other bits"),
    Fault("settled-stop-exclusive-vector", "lens/st_map_row_kernel.h",
          "(de > 0.0f) & (abs(step) <= kNewtonStopStepMax)",
          "(de > 0.0f) & (abs(step) < kNewtonStopStepMax)",
          "vector rows solve a settled pixel again: other bits"),
    Fault("settled-past-fold-vector", "lens/st_map_row_kernel.h",
          " & (r >= 0.0f) &\n                          (r <= c.folding_lens->fold.radius);",
          " & (r >= 0.0f);",
          "vector rows keep a root on the outer branch past the fold"),
    Fault("settled-past-fold-scalar", "lens/lens_model.cpp",
          "&& r >= 0.0f && r <= lens.fold.radius;",
          "&& r >= 0.0f;",
          "Undistort keeps a root on the outer branch past the fold"),
    Fault("span-checks-first-end-only", "lens/st_map_row_kernel.h",
          "return !(first[0] <= c.max_rd && last[0] <= c.max_rd);",
          "return !(first[0] <= c.max_rd);",
          "vector rows solve pixels past the peak"),
    Fault("bracket-kept-on-wrong-side", "lens/lens_model.cpp",
          "(g > 0.0f ? hi : lo) = r;",
          "(g < 0.0f ? hi : lo) = r;",
          "the solve on the rising branch wanders off"),
    Fault("undistort-without-fx-scale", "lens/lens_model.cpp",
          "out = {(fx * fx_scale) * (x / f) + 0.5f,",
          "out = {fx * (x / f) + 0.5f,",
          "Undistort maps lose the horizontal factor"),
    Fault("cy-sign-kept", "lens/lens_model.cpp",
          "cy = (-cy) / 1080.0f + 0.5f;",
          "cy = cy / 1080.0f + 0.5f;",
          "the principal point moves the wrong way vertically"),
    Fault("fy-follows-fx-when-anamorphic", "lens/lens_model.cpp",
          "if (!anamorphic) {",
          "if (anamorphic) {",
          "anamorphic lenses lose their fy"),
    Fault("distort-y-scaled-by-fx", "lens/lens_model.cpp",
          "const float y = (p.y - 0.5f) / fy;",
          "const float y = (p.y - 0.5f) / fx;",
          "Distort maps are scaled vertically by fx"),
    Fault("fold-limit-rounds-up", "lens/radial_fold.cpp",
          "return static_cast<double>(nearest) < value ? nearest\n"
          "                                               : std::nextafter(nearest, -HUGE_VALF);",
          "return nearest;",
          "a radius at the peak, past it in double, is solved"),
    Fault("newton-budget-49", "lens/newton_step_stop.h",
          "inline constexpr int kNewtonBudget = 50;",
          "inline constexpr int kNewtonBudget = 49;",
          "the solve stops one pass early"),
    # The Python module under hostile use.
    Fault("numpy-set-up-on-first-call", "python/module.cpp",
          "    py::detail::npy_api::get();\n    py::dtype::of<float>();\n    py::dtype::of<double>();\n",
          "",
          "first calls from several threads hang for good"),
    Fault("take-waits-for-host-lock", "python/host_lock.cpp",
          "if (try_host_lock()) release_host_lock();",
          "host_lock().lock();\n    holding_host_lock = true;\n    release_host_lock();",
          "a take collected during a reload's script hangs the process"),
    Fault("signals-not-polled", "python/lens_binding.cpp",
          "return PyErr_CheckSignals() != 0;",
          "return false;",
          "Ctrl-C waits for the whole map"),
    Fault("python-memory-unchecked", "python/lens_binding.cpp",
          "shot::memory_refusal(what, need, shot::current_memory_limits())",
          "shot::memory_refusal(what, 0, shot::current_memory_limits())",
          "a map larger than memory is allocated and thrashes"),
    Fault("take-content-unchecked", "python/take_binding.cpp",
          "if (shot::file_content_hash(path_) != content_)",
          "if (content_.empty())",
          "a take mixes cameras of two files"),
    Fault("uninitialised-object-used", "python/initialised.h",
          "if (!detail::get_object_handle(&self, detail::get_type_info(typeid(T)))) {",
          "if (false) {",
          "Take.__new__(Take).cameras crashes the interpreter"),
    Fault("python-warning-error-renders-on", "python/shot_call.cpp",
          "if (raised_ || given_up_) throw WarningRaised();",
          "if (given_up_) throw WarningRaised();",
          "a shot called from Python under -W error writes its maps after a warning"),
    Fault("nul-cuts-take-path", "python/py_paths.cpp",
          "if (bytes.find('\\0') != std::string::npos)",
          "if (false)",
          "a path with a NUL opens another file"),
    Fault("python-map-keeps-non-finite", "python/lens_binding.cpp",
          "if (shot::first_non_finite_pixel(row_view(s, tv))) {",
          "if (false) {",
          "st_map returns NaN maps the command refuses"),
    Fault("python-unusable-lens-silent", "python/lens_binding.cpp",
          "if (const auto why = shot::unusable_lens(values, width, height)) {",
          "if (const auto why = std::optional<std::string>()) {",
          "st_map says nothing of a lens the command warns about"),
    Fault("stub-parameter-renamed", "python/talvik/__init__.pyi",
          "        box: Optional[Tuple[int, int, int, int]] = None,",
          "        region: Optional[Tuple[int, int, int, int]] = None,",
          "a type checker rejects st_map(box=...) and accepts a keyword the module refuses"),
    Fault("opencv-page-without-fx-scale", "docs/python.md",
          'fx_scale = 0.999999 if mode == "undistort" else 1.0',
          "fx_scale = 1.0",
          "OpenCV's Undistort maps built as the Python page says drift from the module's towards the edges"),
    # What the commands print and what points writes.
    Fault("printed-lines-unescaped", "cli/output/terminal_print.cpp",
          "const std::string text = shot::terminal_text(line) + \"\\n\";",
          "const std::string text = std::string(line) + \"\\n\";",
          "a name holding an escape sequence clears the screen or fakes a line"),
    Fault("plan-text-names-unescaped", "pipeline/farm/job_plan.cpp",
          "terminal_text(plan.job_folder) + \"\\n\";",
          "plan.job_folder + \"\\n\";",
          "a line break in a folder name fakes a line of the plan"),
    Fault("track-byte-order-mark-dropped", "pipeline/points/track_csv.cpp",
          "std::string out = header.byte_order_mark ? \"\\xEF\\xBB\\xBF\" : \"\";",
          "std::string out;",
          "a spreadsheet reads the converted track in the wrong encoding"),
    Fault("far-point-blamed-on-focal-length", "pipeline/points/track_conversion.cpp",
          "return lens.fx == 0.0f || lens.fy == 0.0f",
          "return true",
          "a point too far out is reported as a lens with a focal length of 0"),
    Fault("track-read-whole", "pipeline/points/track_conversion.cpp",
          "while (track.read(batch, kBatchPoints, kBatchBytes)) {",
          "while (track.read(batch, std::size_t(-1), std::size_t(-1))) {",
          "a long track takes memory in proportion to its length"),
    # Config files.
    Fault("config-file-beats-command-line", "cli/options/command_options.cpp",
          "files = values.empty() ? from_files(entry) : nullptr) values = *files;",
          "files = from_files(entry)) values = *files;",
          "a studio default overrides what the artist typed"),
    Fault("config-section-ignored", "cli/options/config_file.cpp",
          "for (auto& [option, values] : section) global[option] = std::move(values);",
          "for (auto& [option, values] : section) global.emplace(option, std::move(values));",
          "a [render] section's key loses to the same key outside any section"),
    Fault("config-unknown-key-accepted", "cli/options/config_file.cpp",
          "const OptionEntry& option = checked_key(key, section, where);",
          "if (!option_named(key)) continue;\n        const OptionEntry& option = checked_key(key, section, where);",
          "a misspelt key is silently not a default"),
    Fault("config-key-any-section", "cli/options/config_file.cpp",
          "if (section && !(option->commands & bit(section->command)))",
          "if (false)",
          "a key put in the wrong command's section is silently not applied"),
    Fault("config-sets-per-run-options", "cli/options/config_file.cpp",
          "if (option->takes == Takes::Help || option->not_a_default)",
          "if (option->takes == Takes::Help)",
          "a config file's -o or --fbx makes every run write or read the same shot"),
    Fault("config-reads-any-file-kind", "cli/options/config_file.cpp",
          "else if (!S_ISREG(st.st_mode))",
          "else if (false)",
          "a FIFO or a folder named as the config file is read as if empty, or fails with a bare errno"),
    Fault("config-no-size-cap", "cli/options/config_file.cpp",
          "constexpr size_t kMaxConfigBytes = 1 << 20;",
          "constexpr size_t kMaxConfigBytes = size_t(1) << 40;",
          "a huge file (or /dev/zero behind a link) is read into memory"),
    Fault("config-control-characters-kept", "cli/options/config_file.cpp",
          "if ((c < 0x20 && c != '\\t') || c == 0x7f || c1)",
          "if (c == 0x7f || c1)",
          "an escape sequence in a value reaches the terminal and the farm's scripts"),
    Fault("config-system-over-user", "cli/options/config_file.cpp",
          "folders.insert(folders.begin(), folder);",
          "folders.push_back(folder);",
          "the first of XDG_CONFIG_DIRS loses to the later ones"),
    Fault("config-system-file-wins", "cli/options/config_file.cpp",
          "for (auto& [option, values] : file.defaults_for(command_bit)) all[option] = std::move(values);",
          "for (auto& [option, values] : file.defaults_for(command_bit)) all.emplace(option, std::move(values));",
          "a user's own file cannot change a studio default"),
    Fault("config-rival-options-clash", "cli/options/config_file.cpp",
          "if (std::strcmp(other->names, pair[1 - i]) == 0) return false;",
          "if (std::strcmp(other->names, pair[1 - i]) == 0) return true;",
          "--overscan-from on the command line is refused against a file's overscan"),
    Fault("config-named-file-missing-ignored", "cli/options/config_file.cpp",
          'if (!file) throw shot::UsageError(std::string("TALVIK_CONFIG names',
          'if (!file) return {};\n        if (!file) throw shot::UsageError(std::string("TALVIK_CONFIG names',
          "a misspelt TALVIK_CONFIG runs without the studio's defaults"),
    Fault("config-not-utf8-accepted", "cli/options/config_file.cpp",
          'if (length == 0) throw shot::UsageError(where + "not UTF-8 text");',
          "if (length == 0) {\n            ++at;\n            continue;\n        }",
          "Latin-1 bytes reach the option values and the messages"),
    Fault("config-key-twice-accepted", "cli/options/config_file.cpp",
          "if (option.takes != Takes::Values)  // a repeatable key",
          "if (false)  // a repeatable key",
          "the second of two threads = lines silently wins"),
    Fault("farm-task-reads-config", "pipeline/farm/job_plan.cpp",
          'all.push_back("--no-config");',
          "",
          "a farm machine's config file changes some chunks' maps"),

    # Farm jobs: refused before they are submitted, never task by task.
    Fault("plan-skips-output-checks", "pipeline/farm/job_plan.cpp",
          "check_render_outputs(written, shot);",
          "(void)written;",
          "a job whose report lands on a map is submitted, and its chunk fails on every retry"),
    Fault("array-size-unchecked", "pipeline/farm/job_plan.cpp",
          "if (step.task_count <= 1 || step.task_count <= limit) continue;",
          "continue;",
          "an array larger than the cluster's MaxArraySize is handed to sbatch"),
    Fault("sbatch-said-in-one-line", "cli/farm/slurm_submit.cpp",
          "said_(lines_of(said)),",
          "said_{said},",
          "sbatch's message shows its line breaks as \\n"),
    Fault("munge-socket-folder-private", "tools/slurm-cluster.sh",
          'chmod 755 "$socket_dir"',
          'chmod 700 "$socket_dir"',
          "the test cluster cannot start: munged refuses its socket"),
    Fault("deadline-quote-unescaped", "docs/farm.md",
          """'"%s"' % word.replace('"', '\\\\"')""",
          """'"%s"' % word""",
          "a path with a quote adds arguments to a Deadline task"),
    Fault("opencue-frame-tokens-passed", "docs/farm.md",
          'if "%{" in w]',
          'if "%{" in w and False]',
          "OpenCue fills a frame into a path holding %{RANGE}"),
    Fault("points-direction-as-maps", "shot/direction.cpp",
          "int point_mode(Direction direction) { return direction == Direction::Remove ? 1 : 0; }",
          "int point_mode(Direction direction) { return direction == Direction::Remove ? 0 : 1; }",
          "points --direction remove pushes the track the add way"),
    Fault("later-format-version-read", "shot/json_formats.cpp",
          "if (version > format.version)",
          "if (version > format.version + 1)",
          "a document of a later format version is read as if this build knew it"),
    Fault("whole-shot-window-square", "shot/overscan_report.cpp",
          "{\"win_scale\", {window.scale_x, window.scale_y}}",
          "{\"win_scale\", {1.0, 1.0}}",
          "the whole-shot Nuke camera puts markers off on non-square pixels"),
    Fault("nuke-script-keys-stepped-frames-only", "pipeline/handoff/shot_handoff.cpp",
          "for (int frame = shot.first_frame; frame <= shot.last_frame; ++frame) frames.push_back(frame);",
          "frames = plan.frames;",
          "the Camera is keyed only at the frames the maps were made at"),
    Fault("changelog-ignores-version", "cmake/talvik_debian_changelog.cmake",
          "if(NOT CMAKE_MATCH_1 STREQUAL release)",
          "if(FALSE)",
          "a new release ships under the last release's changelog entry"),
    Fault("maintainer-on-localhost", "cmake/talvik_install.cmake",
          "<packaging@talvikdistort.org>",
          "<talvik@localhost>",
          "the packages name a maintainer nobody can write to; lintian refuses them"),
    Fault("dbgsym-md5sums-as-cpack-wrote", "cmake/debian_repack.cmake",
          "find usr -type f | LC_ALL=C sort | xargs -r md5sum > DEBIAN/md5sums",
          "true",
          "dpkg --verify and debsums cannot check the -dbgsym packages' files"),
    Fault("keyword-messages-name-options", "pipeline/job/field_names.cpp",
          "if (naming == Naming::Options) return option;",
          "if (naming == Naming::Options || !option.empty()) return option;",
          "Python's messages name the command's options instead of its keywords"),
    Fault("python-direction-ignored", "python/shot_keywords.cpp",
          "c.direction_word = v.cast<std::string>();",
          "(void)v.cast<std::string>();",
          "direction= is read and then not used"),
    Fault("python-size-text-unparsed", "shot/size_text.cpp",
          "if (value < 1 || value > kMaxFrameSide)",
          "if (value < 0 || value > kMaxFrameSide)",
          "a size with a side of 0 is taken"),
    Fault("python-function-takes-other-commands-options", "python/shot_binding.cpp",
          'read_shot_keywords("points", kwargs, kWay + Keys{"track", "origin"});',
          'read_shot_keywords("points", kwargs, kWay + kFrames + Keys{"track", "origin"});',
          "points(frames=...) is taken and then ignored, as the command has no --frames"),
    # A farm job of both maps.
    Fault("verify-waits-for-one-map", "pipeline/farm/job_plan.cpp",
          'plan.steps.push_back(single("verify", renders, false,',
          'plan.steps.push_back(single("verify", {renders.front()}, false,',
          "verify runs while the second map is still rendering and calls the shot broken"),
    Fault("output-and-map-pair-both-taken", "pipeline/job/job_checks.cpp",
          "if (!job.output.empty())\n        refuse(n(\"-o\") + \" and \"",
          "if (false)\n        refuse(n(\"-o\") + \" and \"",
          "-o silently ignored beside --remove-map/--add-map"),
    Fault("job-name-without-shot-folder", "pipeline/farm/job_plan.cpp",
          "if (std::any_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {",
          "if (false) {",
          "every shot's jobs are named alike (stmap-rm-render); a wrangler cannot tell them apart"),
    Fault("job-name-takes-a-slash", "cli/options/option_table.cpp",
          "std::iscntrl(static_cast<unsigned char>(c)) || c == '/' ||",
          "std::iscntrl(static_cast<unsigned char>(c)) ||",
          "--job-name sh010/rm makes sbatch write logs into a folder that is not there"),
    Fault("overscan-step-silent", "cli/render_command.cpp",
          "events.show_measuring();",
          "(void)events;",
          "the overscan step of a long shot prints nothing until it ends"),
    Fault("sbatch-array-taken", "cli/options/option_table.cpp",
          "if ((name.size() >= 4 &&",
          "if ((name.size() >= 99 &&",
          "a throttle --array=0-3%1 turns verify into an array of four"),
    Fault("step-args-to-the-render-step", "cli/farm/slurm_submit.cpp",
          "for (const std::vector<std::string>* args : {&sbatch_args.every, &own})",
          "for (const std::vector<std::string>* args : {&sbatch_args.every, &sbatch_args.render})",
          "--render-sbatch-arg=--mem=64G reserves that memory for the overscan and verify steps too"),
    Fault("task-log-without-header", "cli/main.cpp",
          "if (cl.render.task_log) talvik::cli::print_task_log_header(",
          "if (false) talvik::cli::print_task_log_header(",
          "a task's log does not say when, where or with which version it ran"),
    Fault("task-progress-untimed", "cli/task_log.cpp",
          "if (o.task_log) events.stamp_progress(pipeline::utc_time_now);",
          "if (false) events.stamp_progress(pipeline::utc_time_now);",
          "a task log's progress lines cannot be placed in time"),
    Fault("submitted-log-paths-unexpanded", "cli/farm/slurm_submit.cpp",
          '(name + "-" + s.id + (array ? "_" + std::to_string(i) : std::string()) + ".log")',
          '(name + (array ? "-%A_%a" : "-%j") + ".log")',
          "submit --json names log files that do not exist"),
    Fault("plan-memory-on-format", "pipeline/farm/job_plan.cpp",
          "memory(sizes.box_width, sizes.box_height, render_frame_work(map.job, cpus))",
          "memory(sizes.format_width, sizes.format_height, render_frame_work(map.job, cpus))",
          "a render with overscan asks for less memory than its frames take"),
    Fault("retry-rule-retries-usage-errors", "pipeline/farm/job_plan.cpp",
          '{"never_succeeds", {2}}, {"may_succeed", {1}}',
          '{"never_succeeds", shot::Json::array()}, {"may_succeed", {1, 2}}',
          "a farm retries a task that fails the same way every time"),
]

def log(message):
    print(message, flush=True)


def tree_files(tree):
    """The files git lists in the tree, committed or not, ignored ones left out."""
    out = subprocess.run(["git", "-C", str(tree), "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                         check=True, stdout=subprocess.PIPE).stdout
    return [name for name in out.decode().split("\0") if name and (tree / name).is_file()]


def sync(tree, copy):
    """Makes `copy` hold the tree's files; only changed ones are rewritten,
    so the scratch build stays incremental."""
    wanted = set(tree_files(tree))
    for name in sorted(wanted):
        source, target = tree / name, copy / name
        data = source.read_bytes()
        if target.is_file() and target.read_bytes() == data:
            continue
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(data)
        shutil.copymode(source, target)
    for path in sorted(copy.rglob("*"), reverse=True):
        relative = path.relative_to(copy).as_posix()
        if relative == "build" or relative.startswith("build/"):
            continue
        if path.is_file() and relative not in wanted:
            path.unlink()


def run(command, log_path, env=None):
    """Runs `command` in a process group of its own, which goes with it when
    this script is stopped."""
    with open(log_path, "a") as out:
        out.write("$ " + " ".join(command) + "\n")
        out.flush()
        process = subprocess.Popen(command, env=env, stdout=out, stderr=subprocess.STDOUT, start_new_session=True)
        try:
            return process.wait()
        except BaseException:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            raise


def build(copy, env, log_path):
    build_dir = copy / "build"
    if not (build_dir / "CMakeCache.txt").exists():
        # No debug info: faster, and ccache reuses objects across folders.
        code = run(["cmake", "-S", str(copy), "-B", str(build_dir), "-DCMAKE_BUILD_TYPE=Release",
                    "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"], log_path, env=env)
        if code:
            return False
    return run(["cmake", "--build", str(build_dir), "-j2"], log_path, env=env) == 0


def failed_tests(log_path):
    text = pathlib.Path(log_path).read_text(errors="replace")
    # "  182 - Suite.Name (Failed)" or, for a parameterized test,
    # "  182 - Targets/Suite.Name/SSE2  # GetParam() = ... (Failed)".
    names = re.findall(r"^\s*\d+ - (\S+)\s", text.split("The following tests FAILED:")[-1], re.M)
    return names if "The following tests FAILED:" in text else []


def test(copy, regex, skip, env, log_path):
    command = ["ctest", "--test-dir", str(copy / "build"), "-j2", "--timeout", "300"]
    if regex:
        command += ["-R", regex]
    if skip:
        command += ["-E", skip]
    return run(command, log_path, env=env) == 0


def main():
    tree = pathlib.Path(__file__).resolve().parent.parent
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--scratch", default=f"/tmp/talvik-mutate-{os.environ.get('USER', 'user')}",
                        help="where the copy and its build live (kept between runs)")
    parser.add_argument("--only", nargs="+", metavar="NAME", help="these faults only")
    parser.add_argument("--tests", metavar="REGEX", help="run only the ctest tests matching REGEX")
    parser.add_argument("--skip", metavar="REGEX", help="leave out the ctest tests matching REGEX")
    parser.add_argument("--list", action="store_true", help="list the faults and exit")
    args = parser.parse_args()
    # A stop puts the faulty file back and ends the build or tests under way.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))

    if args.list:
        for fault in FAULTS:
            log(f"{fault.name:40} {fault.path:32} {fault.why}")
        return 0
    faults = FAULTS
    if args.only:
        unknown = set(args.only) - {f.name for f in FAULTS}
        if unknown:
            log("unknown faults: " + ", ".join(sorted(unknown)))
            return 2
        faults = [f for f in FAULTS if f.name in args.only]

    scratch = pathlib.Path(args.scratch).resolve()
    if scratch == tree or tree in scratch.parents or scratch in tree.parents:
        log(f"the scratch folder {scratch} must lie outside the tree {tree}")
        return 2
    copy, logs = scratch / "tree", scratch / "logs"
    copy.mkdir(parents=True, exist_ok=True)
    if logs.exists():
        shutil.rmtree(logs)
    logs.mkdir()
    # The copy's build names paths relative to the scratch folder for ccache.
    env = dict(os.environ, CCACHE_BASEDIR=str(scratch))

    # Every fault must still match its file before anything is built.
    stale = []
    for fault in faults:
        count = (tree / fault.path).read_text().count(fault.old)
        if count != 1:
            stale.append(f"{fault.name}: its text occurs {count} times in {fault.path}")
    if stale:
        log("the list no longer matches the code:\n  " + "\n  ".join(stale))
        return 2

    log(f"copying the tree to {copy}")
    sync(tree, copy)
    started = time.monotonic()
    clean_log = logs / "clean.log"
    if not build(copy, env, clean_log) or not test(copy, args.tests, args.skip, env, clean_log):
        log(f"the clean tree does not build or pass its tests: see {clean_log}")
        return 2
    log(f"clean tree built and tested in {time.monotonic() - started:.0f} s")

    killed, survived, unbuilt = [], [], []
    for fault in faults:
        path = copy / fault.path
        original = path.read_text()
        fault_log = logs / f"{fault.name}.log"
        started = time.monotonic()
        try:
            path.write_text(original.replace(fault.old, fault.new, 1))
            if not build(copy, env, fault_log):
                unbuilt.append(fault)
                verdict = "DID NOT BUILD"
            elif test(copy, args.tests, args.skip, env, fault_log):
                survived.append(fault)
                verdict = "SURVIVED"
            else:
                killed.append(fault)
                verdict = "killed by " + ", ".join(failed_tests(fault_log)[:4])
        finally:
            path.write_text(original)
        log(f"{fault.name:40} {verdict} ({time.monotonic() - started:.0f} s)")

    log(f"\nkilled {len(killed)}/{len(faults)}")
    for fault in survived:
        log(f"  survived: {fault.name} ({fault.path}): {fault.why}")
    for fault in unbuilt:
        log(f"  did not build: {fault.name} ({fault.path}); see {logs / (fault.name + '.log')}")
    return 0 if len(killed) == len(faults) else 1


if __name__ == "__main__":
    sys.exit(main())
