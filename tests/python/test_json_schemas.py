"""Every kind of JSON document talvik-stmap writes, made once from the
sample take, against its schema under docs/schemas/ (Debian's
python3-jsonschema); each schema refuses a document missing what it
requires; and the readers of our own documents refuse a later version."""
import copy
import json
import os
import subprocess

import jsonschema
import pytest

from conftest import SAMPLE_TAKE, SOURCE, command_error, run_stmap

SCHEMAS = SOURCE / "docs" / "schemas"
SHOT = ["--size", "64x36", "--fbx", SAMPLE_TAKE, "--camera", 2, "--quiet"]


def schema(kind):
    return json.loads((SCHEMAS / f"{kind}.schema.json").read_text())


@pytest.fixture(scope="module")
def documents(tmp_path_factory):
    """Each kind with its documents: the farm job's plan, its chunks (each
    run twice, so that they hold earlier runs) and its shot manifest, run
    here task by task; the overscan report, the camera, inspect and
    --print-controls."""
    d = tmp_path_factory.mktemp("docs")
    plan = json.loads(run_stmap("plan", *SHOT, "--frames", "1001-1005", "--chunk", 2, "--overscan", "3",
                                "-o", d / "m.####.exr", "--job-dir", d / "job", "--json").stdout)
    for step in plan["steps"]:
        for task in step["tasks"] * (2 if step["name"] == "render" else 1):
            subprocess.run(task["argv"], check=True, capture_output=True)
    run_stmap("overscan", *SHOT, "--frames", "1001-1003", "-o", d / "report.json")
    run_stmap("camera", *SHOT, "--overscan-from", d / "report.json", "--film-back", "36x24", "-o", d / "camera.json")
    controls = run_stmap("render", *SHOT, "--frames", "1001-1002", "--overscan", "2", "--print-controls").stdout
    (d / "config").write_text("threads = 2\n[submit]\nsbatch-arg = --partition=comp\n")
    was = os.environ.get("TALVIK_CONFIG")
    os.environ["TALVIK_CONFIG"] = str(d / "config")
    try:
        config = json.loads(run_stmap("config", "--json", "submit", "--wait").stdout)
    finally:
        os.environ.pop("TALVIK_CONFIG") if was is None else os.environ.update(TALVIK_CONFIG=was)
    return {
        "job-plan": [plan],
        "render-manifest": [json.loads(p.read_text()) for p in sorted((d / "job" / "chunks").glob("*.json"))],
        "shot-manifest": [json.loads((d / "job" / "shot.json").read_text())],
        "overscan-report": [json.loads((d / "report.json").read_text())],
        "camera": [json.loads((d / "camera.json").read_text())],
        "take-inspection": [json.loads(run_stmap("inspect", "--json", SAMPLE_TAKE).stdout)],
        "controls-line": [json.loads(line) for line in controls.splitlines()],
        "config-values": [config],
    }


def test_every_document_holds_to_its_schema(documents):
    assert len(documents["render-manifest"]) == 3 and all(m["earlier_runs"] for m in documents["render-manifest"])
    assert documents["shot-manifest"][0]["complete"] is True
    assert {"overscan", "frame"} <= {key for line in documents["controls-line"] for key in line}
    assert {o["origin"] for o in documents["config-values"][0]["commands"][0]["options"]} == {
        "file", "command line", "default"}
    for kind, docs in documents.items():
        jsonschema.Draft202012Validator.check_schema(schema(kind))
        for doc in docs:
            assert next(iter(doc)) == "format_version", kind
            jsonschema.validate(doc, schema(kind), cls=jsonschema.Draft202012Validator)


# Members a schema requires below the top, besides every top-level one.
NESTED = {
    "render-manifest": ["provenance", "started"],
    "shot-manifest": ["shot_frames", 0, "files", 0, "state"],
    "job-plan": ["steps", 0, "tasks", 0, "argv"],
    "overscan-report": ["nuke_camera", "win_scale"],
    "camera": ["undistorted_camera", 0, "fy"],
    "take-inspection": ["cameras", 0, "last_frame"],
    "controls-line": ["Mode"],
    "config-values": ["commands", 0, "options", 0, "origin"],
}


def test_each_schema_refuses_a_document_missing_what_it_requires(documents):
    for kind, path in NESTED.items():
        for where in [[key] for key in schema(kind)["required"]] + [path]:
            broken = copy.deepcopy(documents[kind][-1])
            parent = broken
            for step in where[:-1]:
                parent = parent[step]
            del parent[where[-1]]
            with pytest.raises(jsonschema.ValidationError, match=repr(where[-1])):
                jsonschema.validate(broken, schema(kind), cls=jsonschema.Draft202012Validator)


def test_readers_refuse_a_later_version_and_read_files_without_one(documents, tmp_path):
    def write(name, doc):
        (tmp_path / name).write_text(json.dumps(doc))
        return tmp_path / name

    report = copy.deepcopy(documents["overscan-report"][0])
    report["format_version"] = 2
    later_report = write("later.json", report)
    manifest = copy.deepcopy(documents["render-manifest"][0])
    manifest["format_version"] = 7
    (tmp_path / "chunks").mkdir()
    later_chunk = write("chunks/frames-1001-1002.json", manifest)
    manifest.update(frames="1001", output=str(tmp_path / "m.####.exr"), preview="")
    later_run = write("run.json", manifest)
    reads = {"overscan report": 1, "render manifest": 2}
    cases = [
        (("render", *SHOT, "--overscan-from", later_report, "--print-controls"), later_report, "overscan report", 2),
        (("verify", *SHOT, "--frames", "1001", "-o", tmp_path / "m.####.exr", "--job-dir", tmp_path,
          "--manifest", tmp_path / "shot.json"), later_chunk, "render manifest", 7),
        (("render", *SHOT, "--frames", "1001", "-o", tmp_path / "m.####.exr", "--skip-existing",
          "--manifest", later_run), later_run, "render manifest", 7),
    ]
    for args, file, kind, version in cases:
        assert command_error(*args) == (f'{kind} "{file}" is of format version {version}; this talvik-stmap reads '
                                        f"{kind}s up to version {reads[kind]}: use the talvik-stmap that wrote it, "
                                        "or a later one")
    # A report from before documents carried a version is read as it was.
    del report["format_version"]
    run_stmap("render", *SHOT, "--overscan-from", write("older.json", report), "--print-controls")
