<?php
/**
 * The funnel's sales page, as WordPress shows it at the funnel's address.
 *
 * @package #prefix#
 */

if ( ! defined( 'ABSPATH' ) ) {
	exit;
}

#prefix#_render_page( 'front' );
