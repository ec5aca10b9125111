<?php
/**
 * Nothing to list here: a request for the folder gets an empty page.
 *
 * @package Funnels
 */

if ( ! defined( 'ABSPATH' ) ) {
	exit;
}
