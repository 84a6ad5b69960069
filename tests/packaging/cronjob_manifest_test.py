#!/usr/bin/env python3
"""The Kubernetes example of the README: the fields a reliable scheduled report
depends on, so the example cannot rot silently. Usage: cronjob_manifest_test.py YAML"""
import configparser
import sys
import unittest

import yaml

MANIFEST = sys.argv.pop(1)


def documents():
    with open(MANIFEST, encoding="utf-8") as f:
        return {d["kind"]: d for d in yaml.safe_load_all(f) if d}


class CronJobManifest(unittest.TestCase):
    def setUp(self):
        docs = documents()
        self.configmap = docs["ConfigMap"]
        self.cronjob = docs["CronJob"]
        self.job = self.cronjob["spec"]["jobTemplate"]["spec"]
        self.pod = self.job["template"]["spec"]
        self.volumes = {v["name"]: v for v in self.pod["volumes"]}

    def test_schedule_never_overlaps_and_gives_up_in_time(self):
        schedule = self.cronjob["spec"]
        self.assertEqual(self.cronjob["apiVersion"], "batch/v1")
        self.assertEqual(len(schedule["schedule"].split()), 5)
        self.assertEqual(schedule["concurrencyPolicy"], "Forbid")
        self.assertIn("/", schedule["timeZone"])
        self.assertGreater(schedule["startingDeadlineSeconds"], 0)
        # A run may take the 30 minutes of a statement and the mail's retries.
        self.assertGreaterEqual(self.job["activeDeadlineSeconds"], 1800)
        self.assertIsInstance(self.job["backoffLimit"], int)
        self.assertEqual(self.pod["restartPolicy"], "Never")

    def test_exit_statuses_decide_the_retry(self):
        rules = {tuple(r["onExitCodes"]["values"]): r["action"] for r in self.job["podFailurePolicy"]["rules"]}
        self.assertEqual(rules[(1,)], "FailJob")  # the error mail went out already
        self.assertNotIn((2,), rules)  # counted against backoffLimit: tried again
        container = self.pod["containers"][0]["name"]
        for rule in self.job["podFailurePolicy"]["rules"]:
            self.assertEqual(rule["onExitCodes"]["containerName"], container)

    def test_configuration_is_copied_from_the_configmap_into_a_writable_folder(self):
        self.assertIn("emptyDir", self.volumes["konfiguration"])
        self.assertEqual(self.volumes["vorlage"]["configMap"]["name"], self.configmap["metadata"]["name"])
        init = self.pod["initContainers"][0]
        mounts = {m["name"]: m["mountPath"] for m in init["volumeMounts"]}
        self.assertEqual(init["command"][0], "cp")
        self.assertTrue(init["command"][1].startswith(mounts["vorlage"] + "/"))
        self.assertTrue(init["command"][2].startswith(mounts["konfiguration"] + "/"))

        main = self.pod["containers"][0]
        self.assertEqual(main["command"][0], "/usr/bin/vornetta")
        self.assertEqual(main["command"][1], init["command"][2])
        self.assertIn("-unattend", main["command"])
        main_mounts = {m["name"]: m for m in main["volumeMounts"]}
        self.assertFalse(main_mounts["konfiguration"].get("readOnly", False))
        self.assertEqual(main_mounts["konfiguration"]["mountPath"], mounts["konfiguration"])
        self.assertIn(main["command"][1].rsplit("/", 1)[1], self.configmap["data"])

    def test_password_comes_from_the_mounted_secret(self):
        main = self.pod["containers"][0]
        secret_mount = {m["name"]: m for m in main["volumeMounts"]}["geheim"]
        self.assertTrue(secret_mount["readOnly"])
        self.assertIn("secretName", self.volumes["geheim"]["secret"])
        ini = configparser.ConfigParser(interpolation=None)
        ini.optionxform = str
        ini.read_string(self.configmap["data"]["umsatz.ini"])
        command = ini["email"]["smtppassbefehl"]
        self.assertTrue(command.startswith("cat " + secret_mount["mountPath"] + "/"), command)
        self.assertNotIn("smtppass", ini["email"])
        self.assertNotIn("Pwd=", ini["datenbank"]["connection"])
        env = {e["name"]: e["value"] for e in main["env"]}
        self.assertEqual(env["VORNETTA_ZUSAMMENFASSUNG"], "1")


if __name__ == "__main__":
    unittest.main()
